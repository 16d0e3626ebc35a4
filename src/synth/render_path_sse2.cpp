// SSE2, which every x86-64 has: two doubles per vector.
#include "synth/kernels.h"

namespace {

struct Sse2 : CompilerConversions<2> {
  static constexpr int kLanes = 2;
  static constexpr bool kExactSine = false;
  static constexpr bool kPolySine = true;
  static D<Sse2> Fma(D<Sse2> a, D<Sse2> b, D<Sse2> c) { return a * b + c; }
};

}  // namespace

const RenderPathTable kSse2Path = PathTableFor<Sse2>();
