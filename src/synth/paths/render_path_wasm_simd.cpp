// WebAssembly's 128-bit SIMD: two doubles per vector. Built with -msimd128; a web build has it or
// not (its module will not load in a browser without SIMD).
#include <wasm_simd128.h>

#include "synth/paths/render_path.h"

namespace {

struct WasmSimd {
  static constexpr int kLanes = 2;
  static constexpr SineKind kSine = SineKind::Polynomial;
  // No fused multiply-add: SIMD128 has none, and relaxed SIMD's fuses in some engines only.
  static D<WasmSimd> MulAdd(D<WasmSimd> a, D<WasmSimd> b, D<WasmSimd> c) {
    return D<WasmSimd>(wasm_f64x2_add(wasm_f64x2_mul(v128_t(a), v128_t(b)), v128_t(c)));
  }
  // The two floats sit in the low half of a 128-bit vector on the way in and out.
  static D<WasmSimd> Widen(F<WasmSimd> v) {
    const v128_t four = v128_t(__builtin_shufflevector(v, v, 0, 1, 0, 1));
    return D<WasmSimd>(wasm_f64x2_promote_low_f32x4(four));
  }
  static F<WasmSimd> Round(D<WasmSimd> v) {
    typedef float F4 __attribute__((vector_size(16)));
    const F4 four = F4(wasm_f32x4_demote_f64x2_zero(v128_t(v)));
    return __builtin_shufflevector(four, four, 0, 1);
  }
};

// A module that links this path has it: the module does not load where WebAssembly lacks SIMD.
bool Supported() { return true; }

}  // namespace

WAVE_RENDER_PATH(wasm_simd, "wasm-simd", WasmSimd, Supported);
