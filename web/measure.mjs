// How long the web page makes its user wait, in each engine: from the start of the load to the
// first sample of the sound, and the render itself (RenderSong and the conversion), as medians
// over fresh page loads with autoplay allowed, each engine playing to a private PulseAudio null
// sink. With a second build directory, that page is measured too, load for load alternating, in
// the same run. Then the render under node, and what the page weighs.
//
//   node web/measure.mjs [BUILD_DIR] [LOADS] [OTHER_BUILD_DIR]      (defaults: build-web, 9)
import { readFileSync, statSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

import { Browser, ENGINES, missingEngine, servePage } from './tests/browser.mjs';
import { missingPulse, startPulse } from './tests/pulse.mjs';

const buildDir = resolve(process.argv[2] ?? 'build-web');
const loads = Number(process.argv[3] ?? 9);
const pages = [buildDir, ...(process.argv[4] ? [resolve(process.argv[4])] : [])];
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const summary = (t) => `${median(t).toFixed(0)} ms (${Math.min(...t).toFixed(0)}-${Math.max(...t).toFixed(0)})`;

// The first sample's time on the page's clock, from the audio clock: the same for any version of
// the page that schedules the block at wave.startFrame.
const SOUND_START = `return { start: performance.now() + (wave.startFrame / wave.context.sampleRate - wave.context.currentTime) * 1000,
  render: wave.renderMs };`;

const pulse = missingPulse() ? null : await startPulse();
const servers = await Promise.all(pages.map(servePage));
try {
  for (const engine of Object.keys(ENGINES)) {
    const missing = missingEngine(engine);
    if (missing) {
      console.log(`${engine}: not measured: ${missing}`);
      continue;
    }
    const browser = Browser.create(engine, { autoplay: true });
    Object.assign(browser.env, pulse?.env ?? {});
    await browser.start();
    const times = pages.map(() => ({ start: [], render: [] }));
    try {
      for (let i = 0; i < loads; ++i) {
        for (const [p, server] of servers.entries()) {
          await browser.open(server.url);
          await browser.until(`window.wave && wave.startFrame !== null`);
          const got = await browser.run(SOUND_START);
          times[p].start.push(got.start);
          times[p].render.push(got.render);
        }
      }
    } finally {
      await browser.quit();
    }
    for (const [p, dir] of pages.entries()) {
      console.log(`${engine} ${browser.version}, ${dir}: load to sound ${summary(times[p].start)}, render ${summary(times[p].render)}`);
    }
  }
} finally {
  servers.forEach((s) => s.close());
  pulse?.stop();
}

// Under node, each render in a freshly loaded module.
const require = createRequire(import.meta.url);
process.setMaxListeners(0); // each fresh module adds its own process handlers
const builds = ['portable', 'simd'];
const node = { portable: [], simd: [] };
for (let i = 0; i < loads; ++i) {
  for (const build of builds) {
    const script = join(buildDir, `wave-${build}.js`);
    delete require.cache[script];
    const core = await require(script)({ wasmBinary: readFileSync(join(buildDir, `wave-${build}.wasm`)), print: () => {} });
    core._WaveResetSound();
    const begin = performance.now();
    core._WaveRender();
    node[build].push(performance.now() - begin);
  }
}
for (const build of builds) console.log(`node ${process.version} ${build}: render ${summary(node[build])}`);

const size = (files) => files.reduce((sum, f) => sum + statSync(join(buildDir, f)).size, 0);
const page = ['index.html', 'notes-panel.js', 'wave.js', 'wave-worker.js'];
console.log(`page: ${size([...page, 'wave-simd.js', 'wave-simd.wasm'])} bytes with the SIMD module, ` +
  `${size([...page, ...builds.flatMap((b) => [`wave-${b}.js`, `wave-${b}.wasm`])])} bytes with both`);
