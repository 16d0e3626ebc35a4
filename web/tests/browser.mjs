// What the page tests need around a browser: the page served from 127.0.0.1, and Debian's
// Chromium in headless mode, driven by its chromedriver over WebDriver (plain HTTP, no packages).
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { createServer as createNetServer } from 'node:net';
import { tmpdir } from 'node:os';
import { extname, join } from 'node:path';

export const CHROMIUM = '/usr/bin/chromium';
export const CHROMEDRIVER = '/usr/bin/chromedriver';

// Why the browser tests cannot run here, or null.
export function missingBrowser() {
  for (const tool of [CHROMIUM, CHROMEDRIVER]) {
    if (!existsSync(tool)) return `${tool} is not installed (Debian: chromium, chromium-driver)`;
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

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = createNetServer();
    probe.on('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The flags every run needs: headless, and quiet on a machine without network.
const BASE_FLAGS = [
  '--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--window-size=900,600',
];
export const AUTOPLAY = '--autoplay-policy=no-user-gesture-required';

// A Chromium session: new Browser(extraFlags), then await start(); quit() when done.
export class Browser {
  constructor(extraFlags = []) {
    this.flags = [...BASE_FLAGS, ...extraFlags];
  }

  async start() {
    const port = await freePort();
    this.driver = spawn(CHROMEDRIVER, [`--port=${port}`], { stdio: 'ignore' });
    this.base = `http://127.0.0.1:${port}`;
    for (let tries = 0; ; ++tries) {
      try {
        if ((await (await fetch(`${this.base}/status`)).json()).value.ready) break;
      } catch {
        // not listening yet
      }
      if (tries > 100) throw new Error('chromedriver did not start');
      await sleep(100);
    }
    this.profile = mkdtempSync(join(tmpdir(), 'wave-chromium-'));
    const session = await this.command('POST', '/session', {
      capabilities: {
        alwaysMatch: {
          browserName: 'chrome',
          'goog:chromeOptions': { binary: CHROMIUM, args: [...this.flags, `--user-data-dir=${this.profile}`] },
          'goog:loggingPrefs': { browser: 'ALL' },
        },
      },
    });
    this.session = `/session/${session.sessionId}`;
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

  // Runs an async function's body in the page; its result comes back as JSON.
  run(body, ...args) {
    const script = `const done = arguments[arguments.length - 1];
      (async (...args) => { ${body} })(...Array.from(arguments).slice(0, -1))
        .then((value) => done({ value }), (e) => done({ error: String(e && e.stack || e) }));`;
    return this.command('POST', `${this.session}/execute/async`, { script, args }).then((r) => {
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

  async click(selector) {
    const element = await this.command('POST', `${this.session}/element`, { using: 'css selector', value: selector });
    await this.command('POST', `${this.session}/element/${Object.values(element)[0]}/click`, {});
  }

  // Presses and releases a key (a WebDriver key code such as '\uE007', Enter) where the focus is.
  key(value) {
    const actions = [{ type: 'keyDown', value }, { type: 'keyUp', value }];
    return this.command('POST', `${this.session}/actions`, { actions: [{ type: 'key', id: 'keyboard', actions }] });
  }

  // The browser console's messages since the last call.
  consoleMessages() {
    return this.command('POST', `${this.session}/se/log`, { type: 'browser' });
  }

  async screenshot() {
    return Buffer.from(await this.command('GET', `${this.session}/screenshot`), 'base64');
  }

  async quit() {
    try {
      if (this.session) await this.command('DELETE', this.session);
    } finally {
      this.driver?.kill();
      if (this.profile) rmSync(this.profile, { recursive: true, force: true });
    }
  }
}
