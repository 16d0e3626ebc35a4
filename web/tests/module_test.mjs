// The two modules the page loads, under node: their entry points, the block they render, and
// what each costs.
//
//   node module_test.mjs BUILD_DIR
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';
import { test } from 'node:test';

import { SONG_CRC, crc32 } from './crc32.mjs';

const buildDir = resolve(process.argv[2]);
const require = createRequire(import.meta.url);

// Loads a module as the page does, with what it prints collected.
async function load(build) {
  const printed = [];
  const core = await require(join(buildDir, `wave-${build}.js`))({
    wasmBinary: readFileSync(join(buildDir, `wave-${build}.wasm`)), // the glue would fetch() it
    print: (line) => printed.push(line),
  });
  return { core, printed };
}

const block = (core) => core.HEAPU8.subarray(core._WavePcmBlock(), core._WavePcmBlock() + core._WavePcmBytes());

for (const [build, path] of [['portable', 'portable'], ['simd', 'wasm-simd']]) {
  test(`wave-${build}: prints the two lines and renders the pinned block on ${path}`, async () => {
    const { core, printed } = await load(build);
    assert.equal(core.UTF8ToString(core._WaveRenderPath()), path);
    core._WaveResetSound();
    const times = [];
    for (let run = 0; run < 3; ++run) {
      printed.length = 0;
      const begin = performance.now();
      core._WaveRender();
      times.push(performance.now() - begin);
      assert.deepEqual(printed, ['SND_UNIT_NUM = 1800', 'Render Track ch[0]']);
      assert.equal(core._WavePcmBytes(), 15876000);
      assert.equal(crc32(block(core)), SONG_CRC, `run ${run}`);
      core._WaveResetSound();
      assert.ok(block(core).every((b) => b === 0), 'WaveResetSound clears the block');
    }
    times.sort((a, b) => a - b);
    console.log(`wave-${build} under node: render ${times[1].toFixed(0)} ms (median of 3)`);
  });
}

// binaryen's disassembler comes with emscripten.
const WASM_DIS = '/usr/bin/wasm-dis';
test('only wave-simd has SIMD instructions: wave-portable loads in a browser without them',
  { skip: !existsSync(WASM_DIS) && `${WASM_DIS} is not installed (Debian: binaryen)` }, () => {
    const simdOps = (build) => {
      const text = execFileSync(WASM_DIS, [join(buildDir, `wave-${build}.wasm`)], { maxBuffer: 1 << 28 }).toString();
      return (text.match(/\b(v128|[if](8x16|16x8|32x4|64x2))\./g) ?? []).length;
    };
    assert.equal(simdOps('portable'), 0);
    assert.ok(simdOps('simd') > 0);
  });
