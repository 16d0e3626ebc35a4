// The feedback echo in vectors, a chunk at a time.
#pragma once

#include "synth/filter_steps.h"
#include "synth/render_isa.h"

namespace {

// The echo over the chunk at sample n of TrackBuffer. Earlier chunks are done: with a delay of
// 0 or at least kChunk, the samples read lie in them or are the lane's own.
template <RenderIsa Isa>
[[gnu::always_inline]] inline void EchoChunk(int n, int delay, float g) {
  float* x = TrackBuffer;
  if (n + kChunk <= delay) return;
  if (n < delay) {  // the chunk where the echo begins
    EchoSamples(x, delay, n + kChunk, delay, g);
    return;
  }
  const double gd = g;
  for (int k = n; k < n + kChunk; k += Isa::kLanes)
    Store<Isa>(x + k, PlusScaled<Isa>(Load<Isa>(x + k), gd, Load<Isa>(x + k - delay)));
}

// ApplyEcho on this path.
template <RenderIsa Isa>
void EchoStage(int delay, float g) {
  if (delay < 0 || delay >= SND_TOTAL_SAMPLES) return;
  if (delay > 0 && delay < kChunk) {  // the echo would feed back within one chunk
    EchoSamples(TrackBuffer, delay, SND_TOTAL_SAMPLES, delay, g);
    return;
  }
  for (int n = delay / kChunk * kChunk; n < SND_TOTAL_SAMPLES; n += kChunk) EchoChunk<Isa>(n, delay, g);
}

}  // namespace
