// SSE2, which every x86-64 has: two doubles per vector.
#include "synth/kernel.h"
#include "synth/render_path_kernels.h"

namespace {

struct Sse2 {
  static constexpr int kLanes = 2;
  static constexpr bool kExactSine = false;
  static D<Sse2> Fma(D<Sse2> a, D<Sse2> b, D<Sse2> c) { return a * b + c; }
  static D<Sse2> Sin(D<Sse2> v) { return PolySin<Sse2>(v); }
};

}  // namespace

const RenderKernels kSse2Kernels = {FusedTrackStage<Sse2>, RenderVoiceStage<Sse2>, EchoStage<Sse2>, MixStage<Sse2>,
                                    ConvertStage<Sse2>, SineStage<Sse2>};
