// The voice in vectors, a chunk at a time: the sines, the check of their rounding, and the
// chunk written to TrackBuffer, with the first echo over it when asked.
#pragma once

#include "synth/kernels/filter_steps.h"
#include "synth/kernels/render_isa.h"
#include "synth/kernels/vector_sine.h"
#include "synth/kernels/voice_feed.h"
#include "synth/kernels/voice_math.h"

namespace {

// The voice of one chunk: Compute, then Finish writes it. The stages work on all of the chunk's
// vectors in turn, so that their long chains of dependent steps overlap.
template <RenderIsa Isa>
struct VoiceWork {
  static_assert(kChunk % Isa::kLanes == 0, "a chunk is whole vectors");
  static constexpr int kGroups = kChunk / Isa::kLanes;
  static constexpr bool IsPoly() { return Isa::kSine == SineKind::Polynomial; }
  int n = 0;
  bool sound = false;
  bool narrow = false;  // every lane in narrow mode
  F<Isa> phase[kGroups] = {}, env[kGroups] = {}, depth[kGroups] = {};
  Mask<Isa> full[kGroups] = {};
  D<Isa> w[kGroups] = {}, sin_w[kGroups] = {}, a[kGroups] = {}, sin_t[kGroups] = {};
  F<Isa> t[kGroups] = {};
  D<Isa> sum[kGroups] = {};

  // Reads the chunk at n from the feed; shaping depth and mode per lane (a chunk holds at most
  // the end of one unit and the start of the next).
  [[gnu::always_inline]] void Begin(VoiceFeed& feed, int at) {
    n = at;
    sound = feed.Sounds(n);
    if (!sound) return;
    const int unit = n / SND_UNIT_LEN;
    const int next_lane = (unit + 1) * SND_UNIT_LEN - n;
    narrow = !FullShape(unit) && (next_lane >= kChunk || !FullShape(unit + 1));
    for (int g = 0; g < kGroups; ++g) {
      const Mask<Isa> in_next = LaneIndex<Isa>() + g * Isa::kLanes >= next_lane;
      depth[g] = in_next ? F<Isa>{} + ShapeDepth(unit + 1) : F<Isa>{} + ShapeDepth(unit);
      full[g] = in_next ? Mask<Isa>{} - FullShape(unit + 1) : Mask<Isa>{} - FullShape(unit);
      feed.template Get<Isa::kLanes>(n + g * Isa::kLanes, phase[g], env[g]);
      const F<Isa> shaped = full[g] ? Round<Isa>(Widen<Isa>(phase[g]) * SND_PI_FLOAT * 2) : phase[g];
      w[g] = Widen<Isa>(shaped);
    }
  }
  // The sines, by what is known of their arguments: in narrow mode |w| < 1/2, in full mode
  // |w| <= pi, and |0.3 w| < 1 in both.
  [[gnu::always_inline]] void SinW() {
    if (!sound) return;
    for (int g = 0; g < kGroups; ++g) {
      if constexpr (!IsPoly()) {
        sin_w[g] = Isa::Sin(w[g]);
      } else if (narrow) {
        sin_w[g] = SmallSin<Isa, true>(w[g]);
      } else {
        sin_w[g] = PolySin<Isa>(w[g]);
      }
    }
  }
  [[gnu::always_inline]] void SinA() {
    if (!sound) return;
    for (int g = 0; g < kGroups; ++g) {
      if constexpr (!IsPoly()) {
        a[g] = Isa::Sin(w[g] * 0.3);
      } else if (narrow) {
        a[g] = SmallSin<Isa, true>(w[g] * 0.3);
      } else {
        a[g] = SmallSin<Isa>(w[g] * 0.3);
      }
    }
  }
  [[gnu::always_inline]] void Sum() {
    if (!sound) return;
    for (int g = 0; g < kGroups; ++g) {
      sum[g] = Widen<Isa>(Round<Isa>(sin_w[g])) + a[g];
      // The double product of two floats is exact, so one rounding: the float product.
      t[g] = Round<Isa>(sum[g]) * depth[g];
    }
  }
  [[gnu::always_inline]] void SinT() {
    if (!sound) return;
    for (int g = 0; g < kGroups; ++g) {
      if constexpr (IsPoly()) {
        sin_t[g] = PolySin<Isa>(Widen<Isa>(t[g]));
      } else {
        sin_t[g] = Isa::Sin(Widen<Isa>(t[g]));
      }
    }
  }
  [[gnu::always_inline]] void Compute(VoiceFeed& feed, int at) {
    Begin(feed, at);
    SinW();
    SinA();
    Sum();
    SinT();
  }

  // Lanes of group g whose rounding could differ from the standard sine's.
  [[gnu::always_inline]] L<Isa> Unsure(int g) const {
    return NearFloatTie<Isa>(sin_w[g]) | UncertainSum<Isa>(sum[g], a[g]) | NearFloatTie<Isa>(sin_t[g]);
  }

  // Writes the chunk to TrackBuffer; with kEcho, the echo of echo_delay and echo_g over it where
  // the echo applies.
  template <bool kEcho>
  [[gnu::always_inline]] void Finish(int echo_delay, float echo_g) {
    float* out = TrackBuffer + n;
    F<Isa> v[kGroups] = {};
    if (sound) {
      bool unsure = false;
      for (int g = 0; g < kGroups; ++g) {
        v[g] = Round<Isa>(sin_t[g]) * env[g];
        if constexpr (Isa::kSine != SineKind::Standard) unsure |= AnyLane<Isa>(Unsure(g));
      }
      if (unsure) [[unlikely]] {
        // Rare: the samples whose rounding is not certain, again with the standard sine.
        for (int g = 0; g < kGroups; ++g) {
          const L<Isa> lanes = Unsure(g);
          for (int k = 0; k < Isa::kLanes; ++k)
            if (lanes[k]) v[g][k] = VoiceSample(phase[g][k], full[g][k] != 0, depth[g][k], env[g][k]);
        }
      }
    }
    if constexpr (kEcho) {
      if (n >= echo_delay) {
        const double gd = echo_g;
        for (int g = 0; g < kGroups; ++g)
          v[g] = PlusScaled<Isa>(v[g], gd, Load<Isa>(out + g * Isa::kLanes - echo_delay));
      }
    }
    for (int g = 0; g < kGroups; ++g) Store<Isa>(out + g * Isa::kLanes, v[g]);
    if constexpr (kEcho) {
      if (n < echo_delay && n + kChunk > echo_delay) [[unlikely]]  // the chunk where the echo begins
        EchoSamples(TrackBuffer, echo_delay, n + kChunk, echo_delay, echo_g);
    }
  }
};

}  // namespace
