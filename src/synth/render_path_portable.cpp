// The portable path: plain vectors the compiler maps onto whatever the processor has, and the
// standard sine, lane by lane.
#include <cmath>

#include "synth/kernels.h"

namespace {

struct Portable : CompilerConversions<2> {
  static constexpr int kLanes = 2;
  static constexpr bool kExactSine = true;
  static constexpr bool kPolySine = false;
  static D<Portable> Sin(D<Portable> v) {
    for (int k = 0; k < kLanes; ++k) v[k] = std::sin(v[k]);
    return v;
  }
};

}  // namespace

const RenderPathTable kPortablePath = PathTableFor<Portable>();
