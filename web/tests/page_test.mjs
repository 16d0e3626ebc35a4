// The page in a real browser (headless Chromium), served from 127.0.0.1: the block it renders, the
// block it plays, the prompt, and OK.
//
//   node page_test.mjs BUILD_DIR      (BUILD_DIR: where the page was built; the screenshot of the
//                                      prompt goes to BUILD_DIR/test-artifacts/prompt.png)
import assert from 'node:assert/strict';
import { mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { AUTOPLAY, Browser, missingBrowser, servePage } from './browser.mjs';
import { SONG_CRC, crc32 } from './crc32.mjs';

const buildDir = process.argv[2];
const missing = missingBrowser();
if (missing) {
  console.error(`page tests skipped: ${missing}`);
  process.exit(77);
}

const BLOCK_SAMPLES = 7938000;
const RATE = 44100;

// The CRC function, in the page.
const CRC32 = crc32.toString();

// An AudioWorklet on the live graph, fed by the page's source: it records the first `frames` frames
// it sees, posts them, and then reports each change from sound to silence.
const TAP = `class Tap extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.samples = new Float32Array(options.processorOptions.frames);
    this.filled = 0;
    this.first = -1;
    this.next = -1;
    this.gaps = 0;
    this.sounding = false;
    this.lastSound = -1;
  }
  process(inputs) {
    const channel = inputs[0][0];
    if (this.first < 0) this.first = this.next = currentFrame;
    if (currentFrame !== this.next) ++this.gaps;
    this.next = currentFrame + 128;
    let sound = false;
    for (let i = 0; i < 128; ++i) {
      const v = channel ? channel[i] : 0;
      if (v !== 0) { sound = true; this.lastSound = currentFrame + i; }
      if (this.filled < this.samples.length) this.samples[this.filled++] = v;
    }
    if (this.filled === this.samples.length) {
      this.filled = Infinity;
      this.port.postMessage({ first: this.first, gaps: this.gaps, samples: this.samples }, [this.samples.buffer]);
    }
    if (this.sounding && !sound) this.port.postMessage({ silentFrom: currentFrame, lastSound: this.lastSound });
    this.sounding = sound;
    return true;
  }
}
registerProcessor('wave-tap', Tap);`;

let page;
before(async () => {
  page = await servePage(buildDir);
});
after(() => page.close());

// Opens the page (with a query) and waits until it has rendered and set out to play.
async function load(browser, query = '') {
  await browser.consoleMessages();
  await browser.open(page.url + query);
  await browser.until(`window.wave && ['playing', 'waiting for a gesture', 'failed'].includes(wave.state)`);
  const state = await browser.run('return wave.state');
  assert.notEqual(state, 'failed', await browser.run(`return document.getElementById('status').textContent`));
}

describe('where the browser lets the page play at once', () => {
  const browser = new Browser([AUTOPLAY]);
  before(() => browser.start());
  after(() => browser.quit());

  test('each module renders the pinned block into its memory', async () => {
    for (const [build, path] of [['portable', 'portable'], ['simd', 'wasm-simd']]) {
      await load(browser, `?build=${build}`);
      const got = await browser.run(`${CRC32}
        const pcm = wave.pcm();
        return { path: wave.path, samples: pcm.length, crc: crc32(new Uint8Array(pcm.buffer, pcm.byteOffset, pcm.byteLength)) };`);
      assert.deepEqual(got, { path, samples: BLOCK_SAMPLES, crc: SONG_CRC }, build);
    }
  });

  test('the SIMD module is the one loaded by default', async () => {
    await load(browser);
    assert.equal(await browser.run('return wave.path'), 'wasm-simd');
  });

  test('the two console lines go to the console area and to the browser console', async () => {
    await load(browser);
    const area = await browser.run(`return document.getElementById('console').textContent`);
    assert.equal(area, 'SND_UNIT_NUM = 1800\nRender Track ch[0]\n');
    const logged = (await browser.consoleMessages())
      .filter((m) => m.source === 'console-api')
      .map((m) => m.message.replace(/^\S+ \S+ "(.*)"$/, '$1'));
    assert.deepEqual(logged, ['SND_UNIT_NUM = 1800', 'Render Track ch[0]']);
  });

  test('the whole block starts at once, on a whole frame, at 44,100 Hz', async () => {
    await load(browser);
    const got = await browser.run(`
      await new Promise((r) => setTimeout(r, 300));
      const s = wave.source;
      return { rate: wave.context.sampleRate, state: wave.context.state, length: s.buffer.length,
               channels: s.buffer.numberOfChannels, loop: s.loop, start: wave.startFrame,
               exact: (wave.startFrame / ${RATE}) * ${RATE} === wave.startFrame,
               now: Math.round(wave.context.currentTime * ${RATE}) };`);
    assert.equal(got.rate, RATE);
    assert.equal(got.state, 'running');
    assert.equal(got.length, BLOCK_SAMPLES);
    assert.equal(got.channels, 1);
    assert.equal(got.loop, false);
    assert.ok(Number.isInteger(got.start) && got.exact, `start frame ${got.start}`);
    assert.ok(got.now > got.start, 'the clock has passed the start');
  });

  test('the AudioBuffer, rendered offline, gives the same block', async () => {
    await load(browser);
    const got = await browser.run(`${CRC32}
      const offline = new OfflineAudioContext({ numberOfChannels: 1, length: wave.buffer.length, sampleRate: ${RATE} });
      const source = offline.createBufferSource();
      source.buffer = wave.buffer;
      source.connect(offline.destination);
      source.start(0);
      const data = (await offline.startRendering()).getChannelData(0);
      const pcm = new Int16Array(data.length);
      let inexact = 0;
      for (let n = 0; n < data.length; ++n) {
        const v = data[n] * 32768;
        if (v !== Math.trunc(v)) ++inexact;
        pcm[n] = v;
      }
      return { inexact, crc: crc32(new Uint8Array(pcm.buffer)) };`);
    assert.deepEqual(got, { inexact: 0, crc: SONG_CRC });
  });

  test('the prompt: a modal dialog captioned Wave, the sentence, one OK, the position', async () => {
    await load(browser);
    const read = `const d = document.getElementById('prompt');
      return { open: d.open, modal: d.matches(':modal'), shown: d.getBoundingClientRect().height > 0,
               caption: document.getElementById('prompt-caption').textContent,
               text: document.getElementById('prompt-text').textContent,
               buttons: [...d.querySelectorAll('button')].map((b) => b.textContent),
               gestureNote: !document.getElementById('prompt-gesture').hidden,
               position: document.getElementById('prompt-position').textContent };`;
    const first = await browser.run(read);
    assert.deepEqual({ ...first, position: undefined }, {
      open: true, modal: true, shown: true, caption: 'Wave', text: 'ぷれいなう : OKを押すと終了します',
      buttons: ['OK'], gestureNote: false, position: undefined,
    });
    assert.match(first.position, /^0:0\d \/ 3:00$/);
    await browser.until(`document.getElementById('prompt-position').textContent !== ${JSON.stringify(first.position)}`, 3);
    const shot = await browser.screenshot();
    assert.equal(shot.subarray(1, 4).toString(), 'PNG');
    const dir = join(buildDir, 'test-artifacts');
    mkdirSync(dir, { recursive: true });
    writeFileSync(join(dir, 'prompt.png'), shot);
  });
});

describe('where the browser holds audio back until the user acts', () => {
  const browser = new Browser();
  before(async () => {
    await browser.start();
    await load(browser);
  });
  after(() => browser.quit());

  test('the page waits for a click, then plays', async () => {
    const waiting = await browser.run(`await new Promise((r) => setTimeout(r, 500));
      return { state: wave.state, context: wave.context.state, start: wave.startFrame,
               note: !document.getElementById('prompt-gesture').hidden, prompt: document.getElementById('prompt').open };`);
    assert.deepEqual(waiting, { state: 'waiting for a gesture', context: 'suspended', start: null, note: true, prompt: true });

    // A tap on the live graph from before the first sample, for the next test.
    await browser.run(`const url = URL.createObjectURL(new Blob([${JSON.stringify(TAP)}], { type: 'text/javascript' }));
      await wave.context.audioWorklet.addModule(url);
      const tap = new AudioWorkletNode(wave.context, 'wave-tap',
        { numberOfInputs: 1, numberOfOutputs: 0, processorOptions: { frames: 12 * ${RATE} } });
      window.tapReports = [];
      tap.port.onmessage = (e) => window.tapReports.push(e.data);
      wave.source.connect(tap);
      window.tap = tap;`);
    await browser.click('#prompt-text');
    await browser.until(`wave.state === 'playing' && wave.context.state === 'running'`, 5);
    assert.equal(await browser.run('return document.getElementById("prompt-gesture").hidden'), true);
  });

  test('the live graph plays the first 10 s of the block sample for sample', async () => {
    await browser.until('window.tapReports.some((r) => r.samples)', 30);
    const got = await browser.run(`const r = tapReports.find((r) => r.samples);
      const pcm = wave.pcm();
      const offset = wave.startFrame - r.first;
      let before = 0, mismatches = 0, firstMismatch = -1;
      for (let k = 0; k < offset; ++k) if (r.samples[k] !== 0) ++before;
      const compared = Math.min(r.samples.length - offset, pcm.length);
      for (let n = 0; n < compared; ++n) {
        if (r.samples[offset + n] !== pcm[n] / 32768) { ++mismatches; if (firstMismatch < 0) firstMismatch = n; }
      }
      return { gaps: r.gaps, offset, before, compared, mismatches, firstMismatch };`);
    assert.ok(got.offset >= 0, `the tap began after the block (${got.offset})`);
    assert.equal(got.gaps, 0, 'the tap saw every quantum');
    assert.ok(got.compared >= 10 * RATE, `${got.compared} samples compared`);
    assert.equal(got.before, 0, 'silence before the block');
    assert.equal(got.mismatches, 0, `first mismatch at sample ${got.firstMismatch}`);
  });

  test('OK stops the sound at once, closes the prompt and clears the buffers', async () => {
    const pressed = await browser.run(`return Math.round(wave.context.currentTime * ${RATE})`);
    await browser.click('#prompt-ok');
    await browser.until('wave.ended', 2);
    await browser.until(`wave.context.state === 'closed'`, 2);
    const got = await browser.run(`const pcm = wave.pcm();
      const silences = tapReports.filter((r) => r.silentFrom !== undefined);
      return { state: wave.state, stopFrame: wave.stopFrame, prompt: document.getElementById('prompt').open,
               pcmCleared: pcm.every((s) => s === 0), bufferCleared: wave.buffer.getChannelData(0).every((v) => v === 0),
               silence: silences[silences.length - 1] };`);
    assert.equal(got.state, 'stopped');
    assert.equal(got.prompt, false);
    assert.equal(got.pcmCleared, true);
    assert.equal(got.bufferCleared, true);
    assert.ok(got.silence, 'the tap saw the sound stop');
    // The sound went on until OK, and stopped within a quarter second of the page taking it.
    assert.ok(got.stopFrame >= pressed, `OK taken at frame ${got.stopFrame}, pressed at ${pressed}`);
    assert.ok(got.silence.silentFrom > pressed, `silent from frame ${got.silence.silentFrom}, OK pressed at ${pressed}`);
    assert.ok(got.silence.silentFrom - got.stopFrame < RATE / 4, `stopped ${got.silence.silentFrom - got.stopFrame} frames after OK`);
  });
});

describe('where the browser holds audio back and the user presses a key', () => {
  const browser = new Browser();
  before(async () => {
    await browser.start();
    await load(browser);
  });
  after(() => browser.quit());

  test('the first key starts the sound and does not also press OK', async () => {
    assert.equal(await browser.run('return document.activeElement.id'), 'prompt-ok');
    await browser.key('\uE007'); // Enter, on the focused OK
    await browser.until(`wave.state === 'playing' && wave.context.state === 'running'`, 5);
    const got = await browser.run(`await new Promise((r) => setTimeout(r, 300));
      return { prompt: document.getElementById('prompt').open, state: wave.state };`);
    assert.deepEqual(got, { prompt: true, state: 'playing' });
  });

  test('the next Enter is OK', async () => {
    await browser.key('\uE007');
    await browser.until(`wave.state === 'stopped' && !document.getElementById('prompt').open`, 2);
  });
});
