// What the page tests need around a browser: the page served from 127.0.0.1, and each engine
// started and driven with nothing but node: Debian's Chromium through chromedriver and WebKitGTK's
// MiniBrowser through WebKitWebDriver (under a private Xvfb), both over WebDriver's plain HTTP, and
// Firefox ESR over the WebDriver BiDi it speaks itself. All three take the same calls.
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { createServer as createNetServer } from 'node:net';
import { tmpdir } from 'node:os';
import { extname, join } from 'node:path';

import { WebSocketClient } from './websocket.mjs';

// WebKitGTK's own browser, in the library's folder of the machine's architecture.
const MINIBROWSER = () => readdirSync('/usr/lib').map((d) => `/usr/lib/${d}/webkit2gtk-4.1/MiniBrowser`).find(existsSync);

// Each engine: the programs it needs, and the Debian packages they come from.
export const ENGINES = {
  chromium: { programs: ['/usr/bin/chromium', '/usr/bin/chromedriver'], packages: 'chromium, chromium-driver' },
  firefox: { programs: ['/usr/bin/firefox-esr'], packages: 'firefox-esr' },
  webkit: { programs: ['/usr/bin/WebKitWebDriver', 'MiniBrowser', '/usr/bin/Xvfb'], packages: 'webkit2gtk-driver, xvfb' },
};

// Why the engine's tests cannot run here, or null.
export function missingEngine(engine) {
  for (const program of ENGINES[engine].programs) {
    const path = program === 'MiniBrowser' ? MINIBROWSER() : program;
    if (!path || !existsSync(path)) return `${program} is not installed (Debian: ${ENGINES[engine].packages})`;
  }
  return null;
}

const TYPES = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm' };

// Serves the page's files (the top of the build directory) on 127.0.0.1; resolves to its address.
export function servePage(dir) {
  const server = createServer((request, response) => {
    const name = new URL(request.url, 'http://127.0.0.1').pathname.slice(1) || 'index.html';
    const type = TYPES[extname(name)];
    if (!type || name.includes('/')) {
      response.writeHead(404).end();
      return;
    }
    try {
      const body = readFileSync(join(dir, name));
      response.writeHead(200, { 'Content-Type': type }).end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve({ url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() }));
  });
}

export function freePort() {
  return new Promise((resolve, reject) => {
    const probe = createNetServer();
    probe.on('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Calls check() until it gives something other than undefined, or throws after `ms`.
async function poll(what, ms, check) {
  for (const end = Date.now() + ms; ;) {
    const value = await check();
    if (value !== undefined) return value;
    if (Date.now() > end) throw new Error(`${what}: nothing within ${ms / 1000} s`);
    await sleep(100);
  }
}

// A private X server, for the engine that needs a display.
async function startXvfb() {
  const server = spawn('/usr/bin/Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  let text = '';
  server.stdio[3].on('data', (chunk) => { text += chunk; });
  const display = await poll('Xvfb', 10000, () => (/\d+\n/.test(text) ? `:${text.trim()}` : undefined));
  return { display, stop: () => server.kill() };
}

// A session, whatever the engine: open a page, run code in it, wait for a condition, click, type,
// take a screenshot, read the console. options: { autoplay, env } (env: added to the browser's).
export class Browser {
  static create(engine, options = {}) {
    return new { chromium: ChromiumBrowser, firefox: FirefoxBrowser, webkit: WebKitBrowser }[engine](options);
  }

  constructor({ autoplay = false, env = {} } = {}) {
    this.autoplay = autoplay;
    this.env = { ...process.env, ...env };
    this.children = [];
    this.cleanups = [];
  }

  spawn(program, args, options = {}) {
    const child = spawn(program, args, { stdio: 'ignore', env: this.env, ...options });
    this.children.push(child);
    return child;
  }

  // Runs an async function's body in the page, with the arguments as `args`; its result comes back
  // as JSON.
  run(body, ...args) {
    return this.evaluate(`(async (...args) => { ${body} })(...${JSON.stringify(args)})
      .then((value) => JSON.stringify({ value }), (e) => JSON.stringify({ error: String(e && e.stack || e) }))`).then((text) => {
      const r = JSON.parse(text);
      if (r.error) throw new Error(`in the page: ${r.error}`);
      return r.value;
    });
  }

  // Waits until the expression is true in the page.
  async until(expression, seconds = 30) {
    const ok = await this.run(`const end = performance.now() + ${seconds * 1000};
      while (!(${expression})) {
        if (performance.now() > end) return false;
        await new Promise((r) => setTimeout(r, 20));
      }
      return true;`);
    if (!ok) throw new Error(`not within ${seconds} s: ${expression}`);
  }

  // Clicks the middle of the element.
  async click(selector) {
    const { x, y } = await this.run(`const r = document.querySelector(args[0]).getBoundingClientRect();
      return { x: Math.round(r.left + r.width / 2), y: Math.round(r.top + r.height / 2) };`, selector);
    await this.actions([{ type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' }, actions: [
      { type: 'pointerMove', x, y, origin: 'viewport', duration: 0 },
      { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }] }]);
  }

  // Presses and releases a key (a WebDriver key code such as '\uE007', Enter) where the focus is.
  key(value) {
    return this.actions([{ type: 'key', id: 'keyboard', actions: [{ type: 'keyDown', value }, { type: 'keyUp', value }] }]);
  }

  async quit() {
    try {
      await this.close();
    } catch {
      // the browser is going anyway
    }
    for (const child of this.children.reverse()) child.kill();
    for (const cleanup of this.cleanups.reverse()) cleanup();
  }
}

// WebDriver over plain HTTP, for a driver program that starts the browser itself.
class HttpWebDriver extends Browser {
  async startDriver(program, args) {
    const port = await freePort();
    this.driver = this.spawn(program, [`--port=${port}`, ...args]);
    this.base = `http://127.0.0.1:${port}`;
    await poll(program, 20000, async () => {
      try {
        return (await (await fetch(`${this.base}/status`)).json()).value.ready ? true : undefined;
      } catch {
        return undefined; // not listening yet
      }
    });
  }

  async newSession(capabilities) {
    const session = await this.command('POST', '/session', { capabilities: { alwaysMatch: capabilities } });
    this.session = `/session/${session.sessionId}`;
    this.version = session.capabilities.browserVersion;
    await this.command('POST', `${this.session}/timeouts`, { script: 90000, pageLoad: 30000 });
  }

  async command(method, path, body) {
    const response = await fetch(this.base + path, {
      method,
      headers: { 'Content-Type': 'application/json' },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    const reply = await response.json();
    if (!response.ok) throw new Error(`WebDriver ${path}: ${reply.value.error}: ${reply.value.message}`);
    return reply.value;
  }

  open(url) {
    return this.command('POST', `${this.session}/url`, { url });
  }

  evaluate(expression) {
    return this.command('POST', `${this.session}/execute/async`, {
      script: `(${expression}).then(arguments[arguments.length - 1]);`, args: [] });
  }

  actions(actions) {
    return this.command('POST', `${this.session}/actions`, { actions });
  }

  async screenshot() {
    return Buffer.from(await this.command('GET', `${this.session}/screenshot`), 'base64');
  }

  close() {
    return this.session && this.command('DELETE', this.session);
  }
}

class ChromiumBrowser extends HttpWebDriver {
  async start() {
    await this.startDriver('/usr/bin/chromedriver', []);
    const profile = mkdtempSync(join(tmpdir(), 'wave-chromium-'));
    this.cleanups.push(() => rmSync(profile, { recursive: true, force: true }));
    const args = ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--window-size=900,600', `--user-data-dir=${profile}`];
    if (this.autoplay) args.push('--autoplay-policy=no-user-gesture-required');
    await this.newSession({
      browserName: 'chrome',
      'goog:chromeOptions': { binary: '/usr/bin/chromium', args },
      'goog:loggingPrefs': { browser: 'ALL' },
    });
  }

  // The console's messages since the last call, as their texts.
  async consoleMessages() {
    const messages = await this.command('POST', `${this.session}/se/log`, { type: 'browser' });
    return messages.filter((m) => m.source === 'console-api').map((m) => m.message.replace(/^\S+ \S+ "(.*)"$/, '$1'));
  }
}

// WebKitWebDriver gives no console: consoleMessages() is null.
class WebKitBrowser extends HttpWebDriver {
  async start() {
    const x = await startXvfb();
    this.cleanups.push(x.stop);
    this.env.DISPLAY = x.display;
    await this.startDriver('/usr/bin/WebKitWebDriver', []);
    const args = ['--automation', `--autoplay-policy=${this.autoplay ? 'allow' : 'deny'}`,
      `--media-playback-requires-user-gesture=${!this.autoplay}`];
    await this.newSession({ browserName: 'MiniBrowser', 'webkitgtk:browserOptions': { binary: MINIBROWSER(), args } });
    await this.command('POST', `${this.session}/window/rect`, { width: 900, height: 600 });
  }

  async consoleMessages() {
    return null;
  }
}

// Firefox, started here with its own profile and driven over the WebDriver BiDi socket it opens.
class FirefoxBrowser extends Browser {
  async start() {
    const profile = mkdtempSync(join(tmpdir(), 'wave-firefox-'));
    this.cleanups.push(() => rmSync(profile, { recursive: true, force: true }));
    // Autoplay: 0 allows it, 5 blocks it for every medium, WebAudio included.
    writeFileSync(join(profile, 'user.js'), [
      `user_pref("media.autoplay.default", ${this.autoplay ? 0 : 5});`,
      'user_pref("media.autoplay.block-webaudio", true);',
      'user_pref("browser.shell.checkDefaultBrowser", false);',
      'user_pref("datareporting.policy.dataSubmissionEnabled", false);',
    ].join('\n'));
    const port = await freePort();
    const firefox = this.spawn('/usr/bin/firefox-esr', ['--headless', '--no-remote', '--profile', profile,
      `--remote-debugging-port=${port}`, 'about:blank'], { stdio: ['ignore', 'ignore', 'pipe'] });
    let log = '';
    firefox.stderr.on('data', (chunk) => { log += chunk; });
    await poll('Firefox', 30000, () => (log.includes('WebDriver BiDi listening') ? true : undefined));
    this.socket = await WebSocketClient.connect(`ws://127.0.0.1:${port}/session`);
    this.pending = new Map();
    this.nextId = 1;
    this.console = [];
    this.socket.onmessage = (text) => {
      const message = JSON.parse(text);
      if (message.id !== undefined) {
        const { resolve, reject, method } = this.pending.get(message.id);
        this.pending.delete(message.id);
        if (message.type === 'error') reject(new Error(`BiDi ${method}: ${message.error}: ${message.message}`));
        else resolve(message.result);
      } else if (message.method === 'log.entryAdded' && message.params.type === 'console') {
        this.console.push(message.params.text);
      }
    };
    const session = await this.command('session.new', { capabilities: {} });
    this.version = session.capabilities.browserVersion;
    await this.command('session.subscribe', { events: ['log.entryAdded'] });
    this.context = (await this.command('browsingContext.getTree', {})).contexts[0].context;
    await this.command('browsingContext.setViewport', { context: this.context, viewport: { width: 900, height: 600 } });
    // Every frame the page paints, from before its own script runs (for the tests of the load).
    await this.command('script.addPreloadScript', { functionDeclaration: `() => {
      window.paintedFrames = [];
      const tick = (t) => { window.paintedFrames.push(t); if (t < 20000) requestAnimationFrame(tick); };
      requestAnimationFrame(tick);
    }` });
  }

  command(method, params) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject, method });
      this.socket.send(JSON.stringify({ id, method, params }));
    });
  }

  open(url) {
    return this.command('browsingContext.navigate', { context: this.context, url, wait: 'complete' });
  }

  async evaluate(expression) {
    const reply = await this.command('script.evaluate', { expression, target: { context: this.context }, awaitPromise: true });
    if (reply.type === 'exception') throw new Error(`in the page: ${reply.exceptionDetails.text}`);
    return reply.result.value;
  }

  actions(actions) {
    return this.command('input.performActions', { context: this.context, actions });
  }

  async screenshot() {
    return Buffer.from((await this.command('browsingContext.captureScreenshot', { context: this.context })).data, 'base64');
  }

  async consoleMessages() {
    const messages = this.console;
    this.console = [];
    return messages;
  }

  async close() {
    if (!this.socket) return;
    await Promise.race([this.command('browser.close', {}), sleep(5000)]);
    this.socket.close();
  }
}
