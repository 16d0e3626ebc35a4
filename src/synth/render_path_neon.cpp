// NEON (Advanced SIMD), which every 64-bit ARM has: two doubles per vector.
#include <arm_neon.h>

#include "synth/kernels.h"

namespace {

struct Neon {
  static constexpr int kLanes = 2;
  static constexpr bool kExactSine = false;
  static constexpr bool kPolySine = true;
  // The sine's polynomials are written for a fused multiply-add; nothing else is fused.
  static D<Neon> Fma(D<Neon> a, D<Neon> b, D<Neon> c) { return vfmaq_f64(c, a, b); }
  // The processor's own conversions: GCC 12 would split them into single lanes.
  static D<Neon> Widen(F<Neon> v) { return vcvt_f64_f32(v); }
  static F<Neon> Round(D<Neon> v) { return vcvt_f32_f64(v); }
};

}  // namespace

const RenderPathTable kNeonPath = PathTableFor<Neon>();
