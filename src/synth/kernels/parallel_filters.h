// The low-pass and the emphasis filter over a block of the track, in pieces side by side.
#pragma once

#include <cstring>
#include <type_traits>
#include <utility>

#include "synth/kernels/filter_steps.h"
#include "synth/kernels/render_isa.h"
#include "synth/track_chain.h"
#include "synth/kernels/track_scratch.h"

namespace {

// The two filters are one chain: each output depends on the one before. But the chain forgets
// where it started: the low-pass keeps a tenth of its state per sample, the emphasis filter half.
// So a block of the track is cut into kSegments pieces, filtered side by side in the lanes of
// vectors; the first piece starts from the exact state, the others kWarm samples early from a
// guessed one, and the chain of each piece runs kOver samples past its end. Where, near a seam,
// both chains hold the same state, they agree from there on, and the piece is exact from that
// sample; before it, the samples are taken from the piece before. The seams are checked in
// order, so the piece before is exact. Should two chains not meet, the caller filters the block
// sample by sample instead.
// The filters' state after a sample: the low-pass output and the emphasis output.
struct FilterState {
  float low = 0, emphasis = 0;
};

// Filters TrackBuffer[begin, begin + kFilterBlock) into out, from state, the exact state after sample
// begin - 1 (ignored at 0, whose sample passes both filters unchanged); leaves in state the state
// after the block's last sample. log is working memory. False if a seam did not meet; then out
// and state are undefined.
template <RenderIsa Isa, int kWarm, int kOver>
bool FilterBlockInParallel(int begin, FilterState& state, float* __restrict out, SeamLog& __restrict log) {
  static_assert(kWarm >= 1 && kOver >= 1 && kWarm + kOver <= kSeamCapacity, "the seams fit the log");
  static_assert(kSegmentLen > kWarm + kOver, "a piece is longer than its seams");
  static_assert(kSegments % Isa::kLanes == 0, "the pieces fill whole vectors");
  constexpr int W = Isa::kLanes;
  constexpr int kGroups = kSegments / W;
  constexpr int L = kSegmentLen;
  const float* x = TrackBuffer + begin;
  const int available = SND_TOTAL_SAMPLES - begin;  // the last piece's chain must not run past the track

  // The guess: the input itself.
  F<Isa> low[kGroups], emphasis[kGroups];
  for (int g = 0; g < kGroups; ++g) {
    for (int k = 0; k < W; ++k) low[g][k] = (g == 0 && k == 0) ? 0.0f : x[(g * W + k) * L - kWarm];
    emphasis[g] = low[g];
  }
  // One sample of every piece, j relative to the pieces' starts. The rounding is the conversion to
  // float and back: the lanes run side by side, so its latency no longer matters.
  const auto step = [&](int j, auto within) {
    constexpr bool kWithin = decltype(within)::value;  // inside the pieces: no edge to watch, an output to store
    for (int g = 0; g < kGroups; ++g) {
      // Built element by element in registers: through memory, a vector load of fresh scalar
      // stores would stall.
      const F<Isa> in = [&]<std::size_t... K>(std::index_sequence<K...>) {
        const auto at = [&](int i) { return kWithin || (i >= 0 && i < available) ? x[i] : 0.0f; };
        return F<Isa>{at((g * W + static_cast<int>(K)) * L + j)...};
      }(std::make_index_sequence<W>{});
      const D<Isa> in_d = Widen<Isa>(in);
      low[g] = Round<Isa>(in_d + (Widen<Isa>(low[g]) - in_d) * double{SND_LOWPASS});
      emphasis[g] = Round<Isa>(Widen<Isa>(low[g]) - double{SND_EMPHASIS} * Widen<Isa>(emphasis[g]));
      if constexpr (kWithin)
        for (int k = 0; k < W; ++k) out[(g * W + k) * L + j] = emphasis[g][k];
    }
  };
  const std::true_type within;
  const std::false_type outside;
  const auto record = [&](float (*to_low)[kSeamCapacity], float (*to_emphasis)[kSeamCapacity], int t) {
    for (int g = 0; g < kGroups; ++g)
      for (int k = 0; k < W; ++k) {
        to_low[g * W + k][t] = low[g][k];
        to_emphasis[g * W + k][t] = emphasis[g][k];
      }
  };
  for (int j = -kWarm; j < 0; ++j) {
    step(j, outside);
    record(log.head_low, log.head_emphasis, j + kWarm);
  }
  low[0][0] = state.low;  // the first piece starts from where the block before ended
  emphasis[0][0] = state.emphasis;
  step(0, within);
  if (begin == 0) low[0][0] = emphasis[0][0] = out[0] = x[0];  // the first sample passes unchanged
  record(log.head_low, log.head_emphasis, kWarm);
  for (int j = 1; j < kOver; ++j) {
    step(j, within);
    record(log.head_low, log.head_emphasis, j + kWarm);
  }
  for (int j = kOver; j < L - kWarm; ++j) step(j, within);
  for (int j = L - kWarm; j < L; ++j) {
    step(j, within);
    record(log.tail_low, log.tail_emphasis, j - (L - kWarm));
  }
  for (int j = L; j < L + kOver; ++j) {
    step(j, outside);
    record(log.tail_low, log.tail_emphasis, j - (L - kWarm));
  }

  for (int s = 1; s < kSegments; ++s) {
    int t = 0;
    const auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    while (t < kWarm + kOver && !(same(log.head_low[s][t], log.tail_low[s - 1][t]) &&
                                  same(log.head_emphasis[s][t], log.tail_emphasis[s - 1][t])))
      ++t;
    if (t == kWarm + kOver) return false;
    for (int u = kWarm; u < t; ++u) out[s * L + u - kWarm] = log.tail_emphasis[s - 1][u];
  }
  state = {log.tail_low[kSegments - 1][kWarm - 1], log.tail_emphasis[kSegments - 1][kWarm - 1]};
  return true;
}

// The same, sample by sample.
inline void FilterBlockInSequence(int begin, FilterState& state, float* out) {
  const float* x = TrackBuffer + begin;
  int i = 0;
  if (begin == 0) {
    state = {x[0], x[0]};
    out[0] = x[0];
    i = 1;
  }
  for (; i < kFilterBlock; ++i) {
    state.low = LowPassStep(x[i], state.low, SND_LOWPASS);
    state.emphasis = EmphasisStep(state.low, state.emphasis, SND_EMPHASIS);
    out[i] = state.emphasis;
  }
}

// Filters a block, then writes it to TrackBuffer and mixes it into MasterBuffer.
template <RenderIsa Isa, int kWarm, int kOver>
void FilterAndMixBlock(int begin, FilterState& state, float gain, TrackScratch& scratch) {
  float* __restrict filtered = scratch.filtered;
  const FilterState before = state;
  if (!FilterBlockInParallel<Isa, kWarm, kOver>(begin, state, filtered, scratch.seams)) {
    state = before;
    FilterBlockInSequence(begin, state, filtered);
  }
  const double gd = gain;
  for (int i = 0; i < kFilterBlock; i += Isa::kLanes) {
    const F<Isa> v = Load<Isa>(filtered + i);
    Store<Isa>(TrackBuffer + begin + i, v);
    Store<Isa>(MasterBuffer + begin + i,
               PlusScaled<Isa>(Load<Isa>(MasterBuffer + begin + i), gd, v));
  }
}

}  // namespace
