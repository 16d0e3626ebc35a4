// The portable path: plain vectors the compiler maps onto whatever the processor has, and the
// standard sine, lane by lane.
#include <cmath>

#include "audio/playback.h"
#include "synth/kernel.h"
#include "synth/render_path_kernels.h"

namespace {

struct Portable {
  static constexpr int kLanes = 2;
  static constexpr bool kExactSine = true;
  static D<Portable> Sin(D<Portable> v) {
    for (int k = 0; k < kLanes; ++k) v[k] = std::sin(v[k]);
    return v;
  }
};

}  // namespace

const RenderKernels kPortableKernels = {FusedTrackStage<Portable>, RenderVoiceStage<Portable>, EchoStage<Portable>, MixStage<Portable>,
                                        ConvertToPcm16ByLoop, SineStage<Portable>};
