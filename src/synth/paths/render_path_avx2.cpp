// AVX2 with FMA: four doubles per vector. Built with -mavx2 -mfma.
#include <immintrin.h>

#include "synth/paths/render_path.h"

namespace {

struct Avx2 {
  static constexpr int kLanes = 4;
  static constexpr SineKind kSine = SineKind::Polynomial;
  static D<Avx2> MulAdd(D<Avx2> a, D<Avx2> b, D<Avx2> c) { return _mm256_fmadd_pd(a, b, c); }
  // The processor's own conversions: GCC 12 would split them into halves.
  static D<Avx2> Widen(F<Avx2> v) { return _mm256_cvtps_pd(v); }
  static F<Avx2> Round(D<Avx2> v) { return _mm256_cvtpd_ps(v); }
};

// The path uses both.
bool Supported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

}  // namespace

WAVE_RENDER_PATH(avx2, "avx2", Avx2, Supported);
