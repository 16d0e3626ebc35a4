// The feedback echo in vectors, a chunk at a time.
#pragma once

#include <span>

#include "synth/kernels/filter_steps.h"
#include "synth/kernels/render_isa.h"

namespace {

// The echo over the chunk at sample n of x. Earlier chunks are done: with a delay of 0 or at least
// kChunk, the samples read lie in them or are the lane's own.
template <RenderIsa Isa>
[[gnu::always_inline]] inline void EchoChunk(float* x, int n, int delay, float g) {
  if (n + kChunk <= delay) return;
  if (n < delay) {  // the chunk where the echo begins
    EchoSamples(x, delay, n + kChunk, delay, g);
    return;
  }
  const double gd = g;
  for (int k = n; k < n + kChunk; k += Isa::kLanes)
    Store<Isa>(x + k, PlusScaled<Isa>(Load<Isa>(x + k), gd, Load<Isa>(x + k - delay)));
}

// ApplyEcho on this path, over x. A delay outside 0 .. size - 1 changes nothing.
template <RenderIsa Isa>
void EchoStage(std::span<float> x, int delay, float g) {
  const int size = static_cast<int>(x.size());
  if (delay < 0 || delay >= size) return;
  if (delay > 0 && delay < kChunk) {  // the echo would feed back within one chunk
    EchoSamples(x.data(), delay, size, delay, g);
    return;
  }
  const int whole = size / kChunk * kChunk;
  for (int n = delay / kChunk * kChunk; n < whole; n += kChunk) EchoChunk<Isa>(x.data(), n, delay, g);
  EchoSamples(x.data(), whole > delay ? whole : delay, size, delay, g);  // the samples after the last whole chunk
}

}  // namespace
