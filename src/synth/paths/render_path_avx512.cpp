// AVX-512: eight doubles per vector. Built with -mavx512f.
#include <immintrin.h>

#include "synth/paths/render_path.h"

namespace {

struct Avx512 {
  static constexpr int kLanes = 8;
  static constexpr SineKind kSine = SineKind::Polynomial;
  static D<Avx512> MulAdd(D<Avx512> a, D<Avx512> b, D<Avx512> c) { return _mm512_fmadd_pd(a, b, c); }
  static D<Avx512> Widen(F<Avx512> v) { return _mm512_maskz_cvtps_pd(0xFF, v); }
  static F<Avx512> Round(D<Avx512> v) { return _mm512_maskz_cvtpd_ps(0xFF, v); }
};

bool Supported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f");
}

}  // namespace

WAVE_RENDER_PATH(avx512, "avx512", Avx512, Supported);
