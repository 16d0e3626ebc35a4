// SSE2, which every x86-64 has: two doubles per vector.
#include "synth/paths/render_path.h"

namespace {

struct Sse2 : CompilerConversions<2> {
  static constexpr int kLanes = 2;
  static constexpr SineKind kSine = SineKind::Polynomial;
  static D<Sse2> MulAdd(D<Sse2> a, D<Sse2> b, D<Sse2> c) { return a * b + c; }
};

bool Supported() { return true; }  // every x86-64 has it

}  // namespace

WAVE_RENDER_PATH(sse2, "sse2", Sse2, Supported);
