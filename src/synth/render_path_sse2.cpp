// SSE2, which every x86-64 has: two doubles per vector.
#include "audio/playback.h"
#include "synth/kernel.h"
#include "synth/render_path_kernels.h"

namespace {

struct Sse2 {
  static constexpr int kLanes = 2;
  static constexpr bool kExactSine = false;
  static constexpr bool kPolySine = true;
  static D<Sse2> Fma(D<Sse2> a, D<Sse2> b, D<Sse2> c) { return a * b + c; }
};

}  // namespace

const RenderKernels kSse2Kernels = {FusedTrackStage<Sse2>, RenderVoiceStage<Sse2>, EchoStage<Sse2>, MixStage<Sse2>,
                                    ConvertToPcm16ByLoop, SineStage<Sse2>};
