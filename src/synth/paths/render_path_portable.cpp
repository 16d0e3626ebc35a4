// The portable path: plain vectors the compiler maps onto whatever the processor has, and the
// standard sine, lane by lane.
#include <cmath>

#include "synth/paths/render_path.h"

namespace {

struct Portable : CompilerConversions<2> {
  static constexpr int kLanes = 2;
  static constexpr SineKind kSine = SineKind::Standard;
  static D<Portable> Sin(D<Portable> v) {
    for (int k = 0; k < kLanes; ++k) v[k] = std::sin(v[k]);
    return v;
  }
};

bool Supported() { return true; }

}  // namespace

WAVE_RENDER_PATH(portable, "portable", Portable, Supported);
