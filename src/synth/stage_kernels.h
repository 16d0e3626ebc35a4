// Single stages of the render on one path, each over the whole track: the voice, the mix, the
// conversion to PCM and the vector sine. The programs run the voice and the mix fused into the
// track's one pass; the stages on their own are for the tests and the benchmark.
#pragma once

#include <cstring>

#include "common/pcm_sample.h"
#include "synth/filter_steps.h"
#include "synth/render_isa.h"
#include "synth/vector_sine.h"
#include "synth/voice_feed.h"
#include "synth/voice_kernel.h"
#include "synth/voice_plan.h"

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

template <RenderIsa Isa>
void MixStage(float gain) {
  if constexpr (Isa::kLanes <= 2) {  // two-lane vectors gain nothing here; the compiler does better alone
    for (int n = 0; n < SND_TOTAL_SAMPLES; ++n) MasterBuffer[n] = MixStep(MasterBuffer[n], gain, TrackBuffer[n]);
  } else {
    const double gd = gain;
    for (int n = 0; n < SND_TOTAL_SAMPLES; n += Isa::kLanes)
      Store<Isa>(MasterBuffer + n, PlusScaled<Isa>(Load<Isa>(MasterBuffer + n), gd, Load<Isa>(TrackBuffer + n)));
  }
}

// FloatToPcm16 over MasterBuffer, in place: float n is read from byte 4n, sample n written to byte
// 2n, so the write never passes the read. In vectors, the lanes' floats are all loaded before
// their samples are stored, and those end no later than the next lanes' floats begin.
template <RenderIsa Isa>
void ConvertStage() {
  constexpr int W = Isa::kLanes;
  auto* bytes = reinterpret_cast<unsigned char*>(MasterBuffer);
  if constexpr (W <= 2) {  // two-lane vectors are slower here than the loop
    for (int n = 0; n < SND_TOTAL_SAMPLES; ++n) {
      float f;
      std::memcpy(&f, bytes + 4 * n, sizeof f);
      const std::int16_t s = FloatToPcm16(f);
      std::memcpy(bytes + 2 * n, &s, sizeof s);
    }
  } else {
    for (int n = 0; n < SND_TOTAL_SAMPLES; n += W) {
      D<Isa> v = Widen<Isa>(Load<Isa>(reinterpret_cast<const float*>(bytes + 4 * n))) * 32767.0;
      v = v == v ? v : 0.0;  // NaN gives 0
      v = v < 32767.0 ? v : 32767.0;
      v = v > -32768.0 ? v : -32768.0;
      *reinterpret_cast<typename Lanes<W>::UnalignedSamples*>(bytes + 2 * n) =
          __builtin_convertvector(__builtin_convertvector(v, typename Lanes<W>::Mask), typename Lanes<W>::Samples);
    }
  }
}

// The path's vector sine (the one the voice uses for its widest arguments) on count values, a
// multiple of kLanes.
template <RenderIsa Isa>
void SineStage(const double* in, double* out, int count) {
  for (int i = 0; i < count; i += Isa::kLanes) {
    D<Isa> v;
    std::memcpy(&v, in + i, sizeof v);
    if constexpr (Isa::kPolySine) {
      v = PolySin<Isa>(v);
    } else {
      v = Isa::Sin(v);
    }
    std::memcpy(out + i, &v, sizeof v);
  }
}

}  // namespace
