// How long the render takes in the web build: each module in headless Chromium (medians over
// fresh page loads, alternating) and under node, and how much the page weighs.
//
//   node web/measure.mjs [BUILD_DIR] [LOADS]      (defaults: build-web, 9)
import { readFileSync, statSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

import { AUTOPLAY, Browser, missingBrowser, servePage } from './tests/browser.mjs';

const buildDir = resolve(process.argv[2] ?? 'build-web');
const loads = Number(process.argv[3] ?? 9);
const builds = ['portable', 'simd'];
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const times = { chromium: { portable: [], simd: [] }, node: { portable: [], simd: [] } };

const missing = missingBrowser();
if (missing) {
  console.error(`no measurement in Chromium: ${missing}`);
} else {
  const page = await servePage(buildDir);
  const browser = new Browser([AUTOPLAY]);
  await browser.start();
  try {
    for (let i = 0; i < loads; ++i) {
      for (const build of builds) {
        await browser.open(`${page.url}?build=${build}`);
        await browser.until(`window.wave && wave.renderMs !== null`);
        times.chromium[build].push(await browser.run('return wave.renderMs'));
      }
    }
  } finally {
    await browser.quit();
    page.close();
  }
}

// Under node, each render in a freshly loaded module, as in a page.
const require = createRequire(import.meta.url);
process.setMaxListeners(0); // each fresh module adds its own process handlers
for (let i = 0; i < loads; ++i) {
  for (const build of builds) {
    const script = join(buildDir, `wave-${build}.js`);
    delete require.cache[script];
    const core = await require(script)({ wasmBinary: readFileSync(join(buildDir, `wave-${build}.wasm`)), print: () => {} });
    core._WaveResetSound();
    const begin = performance.now();
    core._WaveRender();
    times.node[build].push(performance.now() - begin);
  }
}

console.log(`render (RenderSong and the conversion), median of ${loads} fresh loads:`);
for (const where of ['chromium', 'node']) {
  for (const build of builds) {
    const t = times[where][build];
    if (t.length) console.log(`  ${where.padEnd(8)} ${build.padEnd(8)} ${median(t).toFixed(0)} ms  (${Math.min(...t).toFixed(0)}-${Math.max(...t).toFixed(0)})`);
  }
}
const size = (files) => files.reduce((sum, f) => sum + statSync(join(buildDir, f)).size, 0);
const page = ['index.html', 'wave.js'];
console.log(`page: ${size([...page, 'wave-simd.js', 'wave-simd.wasm'])} bytes with the SIMD module, ` +
  `${size([...page, ...builds.flatMap((b) => [`wave-${b}.js`, `wave-${b}.wasm`])])} bytes with both`);
