// NEON (Advanced SIMD), which every 64-bit ARM has: two doubles per vector.
#include <arm_neon.h>

#include "synth/paths/render_path.h"

namespace {

struct Neon {
  static constexpr int kLanes = 2;
  static constexpr SineKind kSine = SineKind::Polynomial;
  // The sine's polynomials are written for a fused multiply-add; nothing else is fused.
  static D<Neon> MulAdd(D<Neon> a, D<Neon> b, D<Neon> c) { return vfmaq_f64(c, a, b); }
  // The processor's own conversions: GCC 12 would split them into single lanes.
  static D<Neon> Widen(F<Neon> v) { return vcvt_f64_f32(v); }
  static F<Neon> Round(D<Neon> v) { return vcvt_f32_f64(v); }
};

bool Supported() { return true; }  // every 64-bit ARM has it

}  // namespace

WAVE_RENDER_PATH(neon, "neon", Neon, Supported);
