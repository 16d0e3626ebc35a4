// The page in a real browser, served from 127.0.0.1 and playing to a private PulseAudio null sink:
// the block it renders, the block it plays, the load, the prompt and its waveform, OK, a browser
// that holds the sound back, and one with no sound device.
//
//   node page_test.mjs BUILD_DIR ENGINE      (ENGINE: chromium, firefox or webkit; a screenshot of
//                                             the prompt goes to BUILD_DIR/test-artifacts/prompt-ENGINE.png)
import assert from 'node:assert/strict';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { Browser, missingEngine, servePage, sleep } from './browser.mjs';
import { SONG_CRC, crc32 } from './crc32.mjs';
import { missingPulse, startPulse } from './pulse.mjs';

const [buildDir, engine] = process.argv.slice(2);
const missing = missingEngine(engine) ?? missingPulse();
if (missing) {
  console.error(`page tests in ${engine} skipped: ${missing}`);
  process.exit(77);
}

const BLOCK_SAMPLES = 7938000;
const RATE = 44100;
const PROMPT_TEXT = 'ぷれいなう : OKを押すと終了します';
const CAPTION = 'Wave';

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

const STEADY = ['playing', 'waiting for a gesture', 'no device', 'bad notes', 'failed'];
// The built-in tune in its text form, as the project ships it.
const EXAMPLE = readFileSync(new URL('../../examples/song.txt', import.meta.url), 'utf8');

let page;
let pulse;
before(async () => {
  page = await servePage(buildDir);
  pulse = await startPulse();
});
after(() => {
  page.close();
  pulse.stop();
});

// A browser session for one describe block, started before its tests and gone after them: with
// autoplay allowed or not, playing to the private server or to one that does not exist.
function session({ autoplay, device = true }) {
  const browser = Browser.create(engine, { autoplay });
  before(async () => {
    Object.assign(browser.env, device ? pulse.env : { PULSE_SERVER: 'unix:/nonexistent/native' });
    await browser.start();
    console.log(`${engine} ${browser.version}`);
  });
  after(() => browser.quit());
  return browser;
}

// Opens the page (with a query) and waits until it has set out to play, or found it cannot.
async function load(browser, query = '') {
  await browser.consoleMessages();
  // The page before is marked: a change of the address's fragment alone loads the page anew only
  // once the old one has seen it.
  await browser.run('window.waveOldPage = true').catch(() => {});
  await browser.open(page.url + query);
  await browser.until(`!window.waveOldPage && window.wave && ${JSON.stringify(STEADY)}.includes(wave.state) && (wave.transferred !== null || wave.state === 'bad notes')`);
  const state = await browser.run('return wave.state');
  assert.notEqual(state, 'failed', await browser.run(`return document.getElementById('status').textContent`));
}

// The prompt as it stands.
const PROMPT = `const d = document.getElementById('prompt');
  const note = (id) => !document.getElementById(id).hidden && document.getElementById(id).textContent.trim();
  return { open: d.open, modal: d.matches(':modal'), shown: d.getBoundingClientRect().height > 0,
           name: document.getElementById(d.getAttribute('aria-labelledby'))?.textContent,
           text: document.getElementById('prompt-text').textContent, focus: document.activeElement.id,
           buttons: [...d.querySelectorAll('button')].map((b) => b.textContent),
           gesture: note('prompt-gesture'), device: note('prompt-device'),
           position: document.getElementById('prompt-position').textContent, state: wave.state };`;

function saveScreenshot(png, name) {
  assert.equal(png.subarray(1, 4).toString(), 'PNG');
  const dir = join(buildDir, 'test-artifacts');
  mkdirSync(dir, { recursive: true });
  writeFileSync(join(dir, name), png);
}

describe(`${engine}, where the page may play at once`, () => {
  const browser = session({ autoplay: true });

  test('each module renders the pinned block, and hands it to the page by transfer', async () => {
    for (const [query, path] of [['?build=portable', 'portable'], ['', 'wasm-simd']]) {
      await load(browser, query);
      const got = await browser.run(`${CRC32}
        const pcm = wave.pcm();
        return { path: wave.path, samples: pcm.length, transferred: wave.transferred,
                 crc: crc32(new Uint8Array(pcm.buffer, pcm.byteOffset, pcm.byteLength)) };`);
      assert.deepEqual(got, { path, samples: BLOCK_SAMPLES, transferred: true, crc: SONG_CRC }, query);
    }
  });

  test('the load: both console lines painted before the render ends, the sound without a notice, the prompt with it', async () => {
    // The SIMD module's load, just made.
    const got = await browser.run(`const frames = window.paintedFrames?.filter((t) => t <= wave.times.soundStart);
      let gap = 0;
      for (let i = 1; i < frames?.length; ++i) gap = Math.max(gap, frames[i] - frames[i - 1]);
      return { area: document.getElementById('console').textContent, times: wave.times, states: wave.states,
               gap: frames ? gap : null, frames: frames?.length };`);
    assert.equal(got.area, 'SND_UNIT_NUM = 1800\nRender Track ch[0]\n');
    const logged = await browser.consoleMessages(); // null where the driver cannot see the console
    if (logged) assert.deepEqual(logged, ['SND_UNIT_NUM = 1800', 'Render Track ch[0]']);
    const { linesShown, blockReady, soundStart, promptShown } = got.times;
    assert.ok(linesShown < blockReady, `lines painted at ${linesShown} ms, the block back at ${blockReady} ms`);
    assert.ok(soundStart - linesShown >= 50, `lines painted at ${linesShown} ms, the sound at ${soundStart} ms`);
    assert.deepEqual(got.states, ['loading', 'rendering', 'starting', 'playing'], 'no notice, no wait for a gesture');
    assert.ok(Math.abs(promptShown - soundStart) < 1000, `prompt at ${promptShown} ms, sound at ${soundStart} ms`);
    // Only Firefox's driver sees every frame from the start of the load.
    if (engine === 'firefox') {
      assert.ok(got.frames > 10, `${got.frames} frames painted before the sound`);
      assert.ok(got.gap <= 120, `a gap of ${got.gap} ms between painted frames before the sound`);
    }
  });

  test('the whole block starts at once, on a whole frame, at 44,100 Hz, and renders offline to the same block', async () => {
    const got = await browser.run(`${CRC32}
      const s = wave.source;
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
      return { rate: wave.context.sampleRate, state: wave.context.state, length: s.buffer.length,
               channels: s.buffer.numberOfChannels, loop: s.loop, start: wave.startFrame,
               exact: (wave.startFrame / ${RATE}) * ${RATE} === wave.startFrame,
               inexact, crc: crc32(new Uint8Array(pcm.buffer)) };`);
    assert.ok(Number.isInteger(got.start) && got.exact, `start frame ${got.start}`);
    assert.deepEqual({ ...got, start: 0 }, { rate: RATE, state: 'running', length: BLOCK_SAMPLES, channels: 1, loop: false,
      start: 0, exact: true, inexact: 0, crc: SONG_CRC });
    // The audio clock reaches the start (Chromium's may stall a moment as its output opens).
    await browser.until(`wave.context.currentTime * ${RATE} > wave.startFrame`, 5);
  });

  test('the prompt: a modal dialog named Wave, the sentence, one OK with the focus, the position; Escape is OK', async () => {
    const got = await browser.run(PROMPT);
    assert.match(got.position, /^0:0\d \/ 3:00$/);
    assert.deepEqual({ ...got, position: undefined }, { open: true, modal: true, shown: true, name: CAPTION, text: PROMPT_TEXT,
      focus: 'prompt-ok', buttons: ['OK'], gesture: false, device: false, position: undefined, state: 'playing' });
    await browser.key('\uE00C'); // Escape
    await browser.until(`wave.state === 'stopped' && !document.getElementById('prompt').open && wave.ended`, 1);
  });

  const BLOCK_CRC = `${CRC32}
    const pcm = wave.pcm();
    return crc32(new Uint8Array(pcm.buffer, pcm.byteOffset, pcm.byteLength));`;

  test('a tune in the address plays instead of the built-in one; bad notes say where and what, and nothing plays', async () => {
    await load(browser, `#notes=${encodeURIComponent(EXAMPLE)}`);
    assert.equal(await browser.run(BLOCK_CRC), SONG_CRC, 'the example in the address');
    await load(browser, `#notes=${encodeURIComponent('66 - -\n  300')}`);
    assert.deepEqual(await browser.run(`return { state: wave.state, context: wave.context, lines: document.getElementById('console').textContent,
        error: document.getElementById('notes-error').textContent, open: document.getElementById('prompt').open };`),
      { state: 'bad notes', context: null, lines: '', error: 'line 2, column 3: value 300 is not a byte', open: false });
  });

  test('Edit shows the notes played; Copy link gives the edited tune\'s address, and Play plays it', async () => {
    await load(browser);
    const shown = await browser.run(`return document.getElementById('notes-text').value`);
    assert.equal(shown.split('\n')[0], '66 - - - 63 - 65 - 61 - 56 - 68 - - -');
    await browser.run(`document.getElementById('prompt').close();
      document.getElementById('edit').open = true;
      document.getElementById('notes-text').value = '60 - - 67 - -  off end';`);
    await browser.click('#notes-link');
    const address = await browser.run(`return document.getElementById('notes-address').value`);
    assert.equal(address, `${page.url}#notes=${encodeURIComponent('60 - - 67 - -  off end')}`);
    await browser.click('#notes-play');
    await browser.until(`window.wave && wave.notes === '60 - - 67 - -  off end' && wave.state === 'playing' && wave.transferred !== null`);
    const pcm = await browser.run(`const p = wave.pcm(); return { early: p[100], late: p[44100 * 170] }`);
    assert.notEqual(pcm.early, 0, 'the edited tune sounds');
    assert.equal(pcm.late, 0);
    assert.notEqual(await browser.run(BLOCK_CRC), SONG_CRC);
  });
});

describe(`${engine}, where the browser holds the sound back until the user acts`, () => {
  const browser = session({ autoplay: false });

  test('the page says so and waits; a click starts the sound', async () => {
    await load(browser);
    const waiting = await browser.run(`await new Promise((r) => setTimeout(r, 300));
      return { state: wave.state, context: wave.context.state, start: wave.startFrame,
               note: !document.getElementById('prompt-gesture').hidden, prompt: document.getElementById('prompt').open,
               focus: document.activeElement.id };`);
    assert.deepEqual(waiting, { state: 'waiting for a gesture', context: 'suspended', start: null, note: true, prompt: true, focus: 'prompt-ok' });

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

  test('the playhead and the played part move with the position', async () => {
    const read = `const box = document.getElementById('prompt-wave').getBoundingClientRect();
      const head = document.getElementById('prompt-playhead').getBoundingClientRect();
      return { played: wave.played(), seconds: wave.seconds(), width: box.width, head: head.left + head.width / 2 - box.left,
               marked: document.getElementById('prompt-played').getBoundingClientRect().width,
               position: document.getElementById('prompt-position').textContent };`;
    const first = await browser.run(read);
    await browser.until(`wave.played() > ${first.played + 2}`, 10);
    const second = await browser.run(read);
    for (const r of [first, second]) {
      const x = (r.played / r.seconds) * r.width;
      assert.ok(Math.abs(r.head - x) <= 1 && Math.abs(r.marked - x) <= 1, `playhead at ${r.head}, marked ${r.marked}, played ${r.played} s: ${x} px`);
      assert.match(r.position, /^0:0\d \/ 3:00$/);
    }
    assert.ok(second.head - first.head >= 4, `the playhead moved from ${first.head} to ${second.head} px`); // 2 s: 5.3 px
    assert.notEqual(first.position, second.position);
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
    // Ten seconds in, the played part of the waveform shows.
    saveScreenshot(await browser.screenshot(), `prompt-${engine}.png`);
  });

  test('OK stops the sound at once, closes the prompt and clears the buffers', async () => {
    const pressed = await browser.run(`return Math.round(wave.context.currentTime * ${RATE})`);
    await browser.click('#prompt-ok');
    await browser.until('wave.ended && wave.workerCleared', 1);
    await browser.until(`wave.context.state === 'closed'`, 2);
    const got = await browser.run(`const pcm = wave.pcm();
      const silences = tapReports.filter((r) => r.silentFrom !== undefined);
      return { state: wave.state, stopFrame: wave.stopFrame, prompt: document.getElementById('prompt').open,
               pcmCleared: pcm.every((s) => s === 0), bufferCleared: wave.buffer.getChannelData(0).every((v) => v === 0),
               silence: silences[silences.length - 1] };`);
    assert.deepEqual({ ...got, stopFrame: 0, silence: 0 }, { state: 'stopped', stopFrame: 0, prompt: false, pcmCleared: true, bufferCleared: true, silence: 0 });
    assert.ok(got.silence, 'the tap saw the sound stop');
    // The sound went on until OK, and stopped within half a second of the page taking it (on a
    // busy machine Firefox's audio thread takes a third of a second to act on the stop).
    assert.ok(got.stopFrame >= pressed, `OK taken at frame ${got.stopFrame}, pressed at ${pressed}`);
    assert.ok(got.silence.silentFrom > pressed, `silent from frame ${got.silence.silentFrom}, OK pressed at ${pressed}`);
    assert.ok(got.silence.silentFrom - got.stopFrame < RATE / 2, `stopped ${got.silence.silentFrom - got.stopFrame} frames after OK`);
  });

  test('the first key starts the sound and does not also press OK; the next Enter is OK', async () => {
    await load(browser);
    assert.equal(await browser.run('return wave.state + " " + document.activeElement.id'), 'waiting for a gesture prompt-ok');
    await browser.key('\uE007'); // Enter, on the focused OK
    await browser.until(`wave.state === 'playing' && wave.context.state === 'running'`, 5);
    await sleep(300);
    assert.equal(await browser.run(`return document.getElementById('prompt').open && wave.state`), 'playing');
    await browser.key('\uE007');
    await browser.until(`wave.state === 'stopped' && !document.getElementById('prompt').open`, 1);
  });
});

// WebKitGTK plays to a fake output of its own where no sound server or device answers, and its
// context runs as if it had one: nothing tells the page.
describe(`${engine}, with no sound device`, { skip: engine === 'webkit' && 'WebKitGTK gives a page no sign of a missing device' }, () => {
  const browser = session({ autoplay: true, device: false });

  test('the prompt says so and stays, a click changes nothing, OK ends it', async () => {
    await load(browser);
    const first = await browser.run(PROMPT);
    assert.match(first.device || '', /^No sound device: \S/);
    assert.deepEqual({ ...first, device: undefined }, { open: true, modal: true, shown: true, name: CAPTION, text: PROMPT_TEXT,
      focus: 'prompt-ok', buttons: ['OK'], gesture: false, device: undefined, position: '0:00 / 3:00', state: 'no device' });
    await browser.click('#prompt-text');
    await sleep(1000);
    // (The click may take the focus to the dialog.)
    assert.deepEqual({ ...(await browser.run(PROMPT)), focus: first.focus }, first);
    await browser.click('#prompt-ok');
    await browser.until(`wave.state === 'stopped' && !document.getElementById('prompt').open`, 1);
  });
});
