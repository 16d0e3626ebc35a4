// The oscillator's phase and envelope, sample by sample, ahead of the vector work of the voice.
#pragma once

#include <cstdint>
#include <utility>

#include "synth/kernels/lanes.h"
#include "synth/kernels/voice_math.h"
#include "synth/kernels/voice_plan.h"

namespace {

// The oscillator, one sample after the other: each phase depends on the one before. It runs
// ahead of the vector work and leaves each sample's phase and envelope in a ring, so that the
// vector loads find stores that finished long ago (a vector load that reads several fresh
// narrow stores has to wait until they retire).
class VoiceFeed {
 public:
  static constexpr int kRing = 64 * kChunk;  // samples
  static constexpr int kAhead = kRing / 2;

  // Starts at sample 0 of plan and fills the ring kAhead samples ahead.
  void Start(const VoicePlan& plan) {
    plan_ = &plan;
    produced_ = 0;
    unit_ = -1;
    left_ = 0;
    sounding_ = false;
    phase_now_ = env_now_ = inc_ = 0;
    for (auto& flag : sound_) flag = 0;
    while (produced_ < kAhead) ProduceChunk();
  }

  // The next chunk into the ring. A chunk that is silent throughout is only marked so.
  [[gnu::always_inline]] void ProduceChunk() {
    const int slot = produced_ % kRing;
    produced_ += kChunk;
    float* out = ring_ + 2 * slot;
    bool any = false;
    for (int k = 0; k < kChunk;) {
      if (left_ == 0) NextUnit();
      const int run = left_ < kChunk - k ? left_ : kChunk - k;
      left_ -= run;
      if (!sounding_) {
        // Silence: with phase and envelope 0 every term of the voice is +0.
        for (int i = 0; i < run; ++i, ++k) out[2 * k] = out[2 * k + 1] = 0;
        continue;
      }
      any = true;
      float phase = phase_now_, env = env_now_;
      if (small_inc_) [[likely]] {
        for (int i = 0; i < run; ++i, ++k) {
          // float(phase + inc) in double equals the float sum: double has more than twice
          // float's precision, so rounding to double first never changes the rounding to float.
          // With the phase in [-0.5, 0.5) and inc below 1 the sum lies in [-0.5, 1.5), where
          // trunc(phase + 0.5) is 1 exactly when phase >= 0.5, and phase - 1 is exact.
          phase = phase + inc_;
          if (phase >= 0.5f) [[unlikely]] phase -= 1.0f;
          out[2 * k] = phase;
          out[2 * k + 1] = env;
          // The double product of two floats is exact, so one rounding: the float product.
          env = env * SND_ENV_DECAY_F;
        }
      } else {
        for (int i = 0; i < run; ++i, ++k) {
          phase = StepPhase(phase, inc_);
          out[2 * k] = phase;
          out[2 * k + 1] = env;
          env = env * SND_ENV_DECAY_F;
        }
      }
      phase_now_ = phase;
      env_now_ = env;
    }
    sound_[slot / kChunk] = any;
  }

  // Phase and envelope of the W samples from n.
  template <int W>
  void Get(int n, typename Lanes<W>::F& phase, typename Lanes<W>::F& env) const {
    const auto both = *reinterpret_cast<const typename Lanes<2 * W>::UnalignedF*>(ring_ + 2 * (n % kRing));
    Deinterleave<W>(both, phase, env, std::make_index_sequence<W>{});
  }
  // Whether anything sounds in the chunk at n.
  bool Sounds(int n) const { return sound_[n % kRing / kChunk] != 0; }

 private:
  void NextUnit() {
    ++unit_;
    left_ = SND_UNIT_LEN;
    sounding_ = false;
    if (unit_ >= plan_->units) return;
    const VoiceUnit& u = plan_->unit[unit_];
    if (u.restart) {
      phase_now_ = 0;
      env_now_ = 1;
    }
    inc_ = u.inc;
    sounding_ = inc_ != 0;
    small_inc_ = inc_ < 1;
  }

  const VoicePlan* plan_ = nullptr;
  int produced_ = 0;
  int unit_ = -1;
  int left_ = 0;
  bool sounding_ = false;
  bool small_inc_ = true;
  float phase_now_ = 0, env_now_ = 0, inc_ = 0;
  // Phase and envelope side by side.
  template <int W, std::size_t... I>
  static void Deinterleave(typename Lanes<2 * W>::F both, typename Lanes<W>::F& even, typename Lanes<W>::F& odd,
                           std::index_sequence<I...>) {
    even = __builtin_shufflevector(both, both, (2 * I)...);
    odd = __builtin_shufflevector(both, both, (2 * I + 1)...);
  }

  alignas(64) float ring_[2 * kRing];
  std::uint32_t sound_[kRing / kChunk];
};

}  // namespace
