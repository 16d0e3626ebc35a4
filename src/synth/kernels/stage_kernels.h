// Single stages of the render on one path: the voice over the whole track, the mix over any
// spans, and the vector sine. The programs run the voice and the mix fused into the track's one
// pass; the stages on their own are for the tests and the benchmark.
#pragma once

#include <cstring>
#include <span>

#include "synth/kernels/filter_steps.h"
#include "synth/kernels/render_isa.h"
#include "synth/kernels/vector_sine.h"
#include "synth/kernels/voice_feed.h"
#include "synth/kernels/voice_kernel.h"
#include "synth/kernels/voice_plan.h"

namespace {

// Zeroes nothing first: every sample of TrackBuffer is written, silence included.
template <RenderIsa Isa>
void RenderVoiceStage(const VoicePlan& plan) {
  VoiceFeed feed;
  feed.Start(plan);
  VoiceWork<Isa> work;
  for (int n = 0; n < SND_TOTAL_SAMPLES; n += kChunk) {
    feed.ProduceChunk();
    work.Compute(feed, n);
    work.template Finish<false>(0, 0);
  }
}

// MixTrack on this path, over spans of equal length.
template <RenderIsa Isa>
void MixStage(std::span<float> master, std::span<const float> track, float gain) {
  const int size = static_cast<int>(master.size());
  int n = 0;
  if constexpr (Isa::kLanes > 2) {  // two-lane vectors gain nothing here; the compiler does better alone
    const double gd = gain;
    for (; n + Isa::kLanes <= size; n += Isa::kLanes)
      Store<Isa>(&master[n], PlusScaled<Isa>(Load<Isa>(&master[n]), gd, Load<Isa>(&track[n])));
  }
  for (; n < size; ++n) master[n] = AddScaled(master[n], gain, track[n]);
}

// The path's vector sine (the one the voice uses for its widest arguments) on count values, a
// multiple of kLanes.
template <RenderIsa Isa>
void SineStage(const double* in, double* out, int count) {
  for (int i = 0; i < count; i += Isa::kLanes) {
    D<Isa> v;
    std::memcpy(&v, in + i, sizeof v);
    if constexpr (Isa::kSine == SineKind::Polynomial) {
      v = PolySin<Isa>(v);
    } else {
      v = Isa::Sin(v);
    }
    std::memcpy(out + i, &v, sizeof v);
  }
}

}  // namespace
