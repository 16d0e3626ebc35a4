// The whole track in one pass on one path: voice, both echoes, both filters and the mix.
#pragma once

#include "synth/kernels/echo_kernel.h"
#include "synth/kernels/parallel_filters.h"
#include "synth/kernels/render_isa.h"
#include "synth/track_chain.h"
#include "synth/kernels/track_scratch.h"
#include "synth/kernels/voice_feed.h"
#include "synth/kernels/voice_kernel.h"
#include "synth/kernels/voice_plan.h"

namespace {

// Voice, effect chain and mix in one pass, in place in TrackBuffer. Each stage runs behind the one
// before it by more than the distance it reads back: the voice and the first echo at sample n
// (the echo reads n - 159201, which holds its output); the second echo at n - lag (reading 115101
// further back, already its output, while everything from n - lag on still holds the first
// echo's output that the first echo reads); and the filters and the mix a block at a time, once
// the second echo no longer reads it. Everything in between stays in the processor's cache.
template <RenderIsa Isa, int kWarm = 128, int kOver = 128>
void FusedTrackStage(const VoicePlan& plan, float gain, TrackScratch& scratch) {
  constexpr int lag = (SND_ECHO1_DELAY + 2 * kChunk) / kChunk * kChunk;
  // The first echo works on whole chunks of finished samples; so does the second, and its
  // chunks stay clear of what the first still reads.
  static_assert(SND_ECHO1_DELAY >= kChunk && SND_ECHO2_DELAY >= kChunk, "an echo reaches back past its chunk");
  static_assert(lag % kChunk == 0 && lag >= SND_ECHO1_DELAY + kChunk, "the second echo trails the first");
  // A block's pieces run kOver samples past its end: those already hold the second echo.
  static_assert(SND_ECHO2_DELAY >= kOver, "the filters read no sample the second echo still changes");
  VoiceFeed feed;
  feed.Start(plan);
  VoiceWork<Isa> work;
  FilterState state;
  int filtered = 0;
  for (int n = 0; n < SND_TOTAL_SAMPLES + lag; n += kChunk) {
    if (n < SND_TOTAL_SAMPLES) {
      feed.ProduceChunk();
      work.Compute(feed, n);
      work.template Finish<true>(SND_ECHO1_DELAY, SND_ECHO1_GAIN);
    }
    if (n >= lag) EchoChunk<Isa>(TrackBuffer, n - lag, SND_ECHO2_DELAY, SND_ECHO2_GAIN);
    const int echoed = n + kChunk - lag;  // the second echo is done below this sample
    while (filtered + kFilterBlock <= echoed - SND_ECHO2_DELAY) {
      FilterAndMixBlock<Isa, kWarm, kOver>(filtered, state, gain, scratch);
      filtered += kFilterBlock;
    }
  }
  for (; filtered < SND_TOTAL_SAMPLES; filtered += kFilterBlock) FilterAndMixBlock<Isa, kWarm, kOver>(filtered, state, gain, scratch);
}

}  // namespace
