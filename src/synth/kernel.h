// The render stages for one instruction set, included by each render path's translation unit.
//
// A path supplies `Isa`: kLanes doubles per vector, and either kPolySine with Fma (a * b + c,
// fused where the processor can) for the polynomial sines below, or Sin, a vector sine of its
// own, with kExactSine when that is the standard sine itself, lane by lane. Everything here has
// internal linkage: each path compiles its own copy for its own instruction set.
//
// Bits: every value is rounded exactly as in voice_math.h and filter_steps.h. Where this code
// takes a shortcut, the comment says why it gives the same bits; the tests compare every path
// with a plain reference, bit for bit.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "common/sound.h"
#include "synth/filter_steps.h"
#include "synth/track_chain.h"
#include "synth/voice_math.h"
#include "synth/voice_plan.h"

namespace {

// Samples handled together: enough vectors for the processor to overlap their long chains of
// dependent steps. Every vector width divides it, it divides the whole track, and a chunk holds
// at most one unit boundary.
constexpr int kChunk = 48;
static_assert(SND_TOTAL_SAMPLES % kChunk == 0 && SND_UNIT_LEN > kChunk);

template <int W>
struct Lanes {
  typedef double D __attribute__((vector_size(8 * W)));
  typedef std::int64_t L __attribute__((vector_size(8 * W)));
  typedef float F __attribute__((vector_size(4 * W)));
  typedef std::int32_t Mask __attribute__((vector_size(4 * W)));  // -1 or 0 per lane
  typedef float UnalignedF __attribute__((vector_size(4 * W), aligned(4)));
  typedef std::int32_t UnalignedMask __attribute__((vector_size(4 * W), aligned(4)));
  typedef std::int16_t Samples __attribute__((vector_size(2 * W)));
  typedef std::int16_t UnalignedSamples __attribute__((vector_size(2 * W), aligned(2)));
};

template <class Isa>
using F = typename Lanes<Isa::kLanes>::F;
template <class Isa>
using D = typename Lanes<Isa::kLanes>::D;
template <class Isa>
using L = typename Lanes<Isa::kLanes>::L;
template <class Isa>
using Mask = typename Lanes<Isa::kLanes>::Mask;

template <class Isa>
F<Isa> Load(const float* p) {
  return *reinterpret_cast<const typename Lanes<Isa::kLanes>::UnalignedF*>(p);
}
template <class Isa>
void Store(float* p, F<Isa> v) {
  *reinterpret_cast<typename Lanes<Isa::kLanes>::UnalignedF*>(p) = v;
}
// Float to double and back; a path may bring the processor's own instructions where the compiler
// would split the conversion into pieces.
template <class Isa>
[[gnu::always_inline]] inline D<Isa> Widen(F<Isa> v) {
  if constexpr (requires { Isa::Widen(v); }) return Isa::Widen(v);
  return __builtin_convertvector(v, D<Isa>);
}
template <class Isa>
[[gnu::always_inline]] inline F<Isa> Round(D<Isa> v) {
  if constexpr (requires { Isa::Round(v); }) return Isa::Round(v);
  return __builtin_convertvector(v, F<Isa>);
}

// float(a + g * b) lane by lane: an echo step or a mix step, rounded as EchoStep and MixStep.
template <class Isa>
[[gnu::always_inline]] inline F<Isa> PlusScaled(F<Isa> a, double g, F<Isa> b) {
  return Round<Isa>(Widen<Isa>(a) + g * Widen<Isa>(b));
}

// {0, 1, 2, ...}
template <class Isa, std::size_t... I>
constexpr Mask<Isa> LaneIndexOf(std::index_sequence<I...>) {
  return Mask<Isa>{static_cast<std::int32_t>(I)...};
}
template <class Isa>
constexpr Mask<Isa> LaneIndex() {
  return LaneIndexOf<Isa>(std::make_index_sequence<Isa::kLanes>{});
}

template <class Isa>
[[gnu::always_inline]] inline bool AnyLane(L<Isa> m) {
  std::uint64_t words[Isa::kLanes];
  std::memcpy(words, &m, sizeof words);
  std::uint64_t any = 0;
  for (std::uint64_t w : words) any |= w;
  return any != 0;
}

template <class Isa>
[[gnu::always_inline]] inline D<Isa> Abs(D<Isa> v) {
  return reinterpret_cast<D<Isa>>(reinterpret_cast<L<Isa>>(v) & 0x7FFF'FFFF'FFFF'FFFF);
}

// Certainty of the vector sine's rounding. PolySin stays within 2 units in the last place of the
// standard sine (the tests measure it); the checks allow 8. Where a value within that margin of
// the vector result could round to another float, the sample is recomputed with the standard
// sine; for the song that is never, for random notes about one sample in twenty million.

// Lanes where some value within 8 units in the last place of v rounds to another float than v:
// the 29 bits below float precision lie within 8 of the halfway pattern, or v is so small that
// its float would be subnormal and round elsewhere.
template <class Isa>
[[gnu::always_inline]] inline L<Isa> NearFloatTie(D<Isa> v) {
  const L<Isa> bits = reinterpret_cast<L<Isa>>(v);
  const L<Isa> below = (bits & 0x1FFF'FFFF) - (0x1000'0000 - 8);  // 0 to 16 when within 8 of the tie
  const L<Isa> magnitude = bits & 0x7FFF'FFFF'FFFF'FFFF;
  constexpr std::int64_t kMinNormalFloat = std::int64_t{1023 - 126} << 52;
  return ((below >= 0) & (below <= 16)) | ((magnitude < kMinNormalFloat) & (magnitude != 0));
}

// The same for a sum whose addend a carries the sine's error: the margin is 2^-49 times the
// magnitudes of both, and both ends of it must round to the same float.
template <class Isa>
[[gnu::always_inline]] inline L<Isa> UncertainSum(D<Isa> sum, D<Isa> a) {
  const D<Isa> margin = (Abs<Isa>(a) + Abs<Isa>(sum)) * 0x1p-49;
  const Mask<Isa> differ = reinterpret_cast<Mask<Isa>>(Round<Isa>(sum - margin)) != reinterpret_cast<Mask<Isa>>(Round<Isa>(sum + margin));
  return __builtin_convertvector(differ, L<Isa>);
}

// ---- A vector sine ----------------------------------------------------------------------------

// sin(x) for |x| up to pi/2, within about 2 units in the last place: the Taylor series of degree
// 21, exact to about 2^-59 there, with no reduction. With kHalfRange, for |x| up to 1/2, degree
// 17 is as exact.
template <class Isa, bool kHalfRange = false>
[[gnu::always_inline]] inline D<Isa> SmallSin(D<Isa> x) {
  using V = D<Isa>;
  const V z = x * x;
  V s = V{} - 1.0 / 355687428096000.0;  // -1/17!
  if constexpr (!kHalfRange) {
    s = V{} - 1.0 / 51090942171709440000.0;  // -1/21!
    s = Isa::Fma(s, z, V{} + 1.0 / 121645100408832000.0);
    s = Isa::Fma(s, z, V{} - 1.0 / 355687428096000.0);
  }
  s = Isa::Fma(s, z, V{} + 1.0 / 1307674368000.0);
  s = Isa::Fma(s, z, V{} - 1.0 / 6227020800.0);
  s = Isa::Fma(s, z, V{} + 1.0 / 39916800.0);
  s = Isa::Fma(s, z, V{} - 1.0 / 362880.0);
  s = Isa::Fma(s, z, V{} + 1.0 / 5040.0);
  s = Isa::Fma(s, z, V{} - 1.0 / 120.0);
  s = Isa::Fma(s, z, V{} + 1.0 / 6.0);
  // Below 2^-26, sin x rounds to x itself; this also keeps the sign of zero.
  return Abs<Isa>(x) < 0x1p-26 ? x : Isa::Fma(x * z, V{} - s, x);
}

// sin(x) for |x| below 2^19, within about 2 units in the last place: the argument is reduced by
// the nearest multiple k of pi (pi in three parts, each product with k exact) into
// [-pi/2, pi/2], where SmallSin holds; odd k flips the sign.
template <class Isa>
[[gnu::always_inline]] inline D<Isa> PolySin(D<Isa> x) {
  using V = D<Isa>;
  constexpr double kInvPi = 0x1.45f306dc9c883p-2;
  constexpr double kPiHi = 0x1.921fb54400000p+1;   // pi to 33 bits
  constexpr double kPiMid = 0x1.0b4611a600000p-33;  // the next 33 bits
  constexpr double kPiLo = 0x1.3198a2e037073p-68;   // the rest
  constexpr double kRoundMagic = 0x1.8p52;          // adding it rounds to an integer
  const V shifted = x * kInvPi + kRoundMagic;
  const V k = shifted - kRoundMagic;
  const V sine = SmallSin<Isa>(((x - k * kPiHi) - k * kPiMid) - k * kPiLo);
  // The low bit of k sits at the bottom of the shifted sum's fraction.
  return reinterpret_cast<V>(reinterpret_cast<L<Isa>>(sine) ^ (reinterpret_cast<L<Isa>>(shifted) << 63));
}

// ---- The voice ---------------------------------------------------------------------------------

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

// The voice of one chunk: Compute, then Finish writes it. The stages work on all of the chunk's
// vectors in turn, so that their long chains of dependent steps overlap.
template <class Isa>
struct VoiceWork {
  static constexpr int kGroups = kChunk / Isa::kLanes;
  static constexpr bool IsPoly() {
    if constexpr (requires { Isa::kPolySine; }) return Isa::kPolySine;
    return false;
  }
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
        if constexpr (!Isa::kExactSine) unsure |= AnyLane<Isa>(Unsure(g));
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
      if (n < echo_delay && n + kChunk > echo_delay) [[unlikely]] {  // the chunk where the echo begins
        for (int i = echo_delay; i < n + kChunk; ++i)
          TrackBuffer[i] = EchoStep(TrackBuffer[i], echo_g, TrackBuffer[i - echo_delay]);
      }
    }
  }
};

// ---- Effects and mix ---------------------------------------------------------------------------

// The echo over the chunk at sample n of TrackBuffer. Earlier chunks are done: with a delay of
// 0 or at least kChunk, the samples read lie in them or are the lane's own.
template <class Isa>
[[gnu::always_inline]] inline void EchoChunk(int n, int delay, float g) {
  float* x = TrackBuffer;
  if (n + kChunk <= delay) return;
  if (n < delay) {  // the chunk where the echo begins
    for (int i = delay; i < n + kChunk; ++i) x[i] = EchoStep(x[i], g, x[i - delay]);
    return;
  }
  const double gd = g;
  for (int k = n; k < n + kChunk; k += Isa::kLanes)
    Store<Isa>(x + k, PlusScaled<Isa>(Load<Isa>(x + k), gd, Load<Isa>(x + k - delay)));
}

template <class Isa>
[[gnu::always_inline]] inline void MixChunk(int n, float gain) {
  const double gd = gain;
  for (int k = n; k < n + kChunk; k += Isa::kLanes)
    Store<Isa>(MasterBuffer + k,
               PlusScaled<Isa>(Load<Isa>(MasterBuffer + k), gd, Load<Isa>(TrackBuffer + k)));
}

// ---- Low-pass and emphasis in parallel ----------------------------------------------------------

// The two filters are one chain: each output depends on the one before. But the chain forgets
// where it started: the low-pass keeps a tenth of its state per sample, the emphasis filter half.
// So a block of the track is cut into kSegments pieces, filtered side by side in the lanes of
// vectors; the first piece starts from the exact state, the others kWarm samples early from a
// guessed one, and the chain of each piece runs kOver samples past its end. Where, near a seam,
// both chains hold the same state, they agree from there on, and the piece is exact from that
// sample; before it, the samples are taken from the piece before. The seams are checked in
// order, so the piece before is exact. Should two chains not meet, the caller filters the block
// sample by sample instead.
constexpr int kBlock = SND_TOTAL_SAMPLES / 105;  // 75600 samples: what a block's passes use stays in cache
constexpr int kSegments = 16;
constexpr int kSegmentLen = kBlock / kSegments;
static_assert(SND_TOTAL_SAMPLES % kBlock == 0 && kBlock % kSegments == 0);

// The filters' state after a sample: the low-pass output and the emphasis output.
struct FilterState {
  float low = 0, emphasis = 0;
};

template <int kWarm, int kOver>
struct SeamLog {
  float head_low[kSegments][kWarm + kOver], head_emphasis[kSegments][kWarm + kOver];
  float tail_low[kSegments][kWarm + kOver], tail_emphasis[kSegments][kWarm + kOver];
};

// Filters TrackBuffer[begin, begin + kBlock) into out, from state, the exact state after sample
// begin - 1 (ignored at 0, whose sample passes both filters unchanged); leaves in state the state
// after the block's last sample. False if a seam did not meet; then out and state are undefined.
template <class Isa, int kWarm, int kOver>
bool FilterBlockInParallel(int begin, FilterState& state, float* out) {
  static_assert(kSegmentLen > kWarm + kOver && kWarm >= 1 && kOver >= 1);
  constexpr int W = Isa::kLanes;
  constexpr int kGroups = kSegments / W;
  constexpr int L = kSegmentLen;
  static SeamLog<kWarm, kOver> log;  // static: too large for the stack
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
  const auto record = [&](float (*to_low)[kWarm + kOver], float (*to_emphasis)[kWarm + kOver], int t) {
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
  for (; i < kBlock; ++i) {
    state.low = LowPassStep(x[i], state.low, SND_LOWPASS);
    state.emphasis = EmphasisStep(state.low, state.emphasis, SND_EMPHASIS);
    out[i] = state.emphasis;
  }
}

// Filters a block, then writes it to TrackBuffer and mixes it into MasterBuffer.
template <class Isa, int kWarm, int kOver>
void FilterAndMixBlock(int begin, FilterState& state, float gain) {
  static float filtered[kBlock];  // static: too large for the stack; the input stays for a retry
  const FilterState before = state;
  if (!FilterBlockInParallel<Isa, kWarm, kOver>(begin, state, filtered)) {
    state = before;
    FilterBlockInSequence(begin, state, filtered);
  }
  const double gd = gain;
  for (int i = 0; i < kBlock; i += Isa::kLanes) {
    const F<Isa> v = Load<Isa>(filtered + i);
    Store<Isa>(TrackBuffer + begin + i, v);
    Store<Isa>(MasterBuffer + begin + i,
               PlusScaled<Isa>(Load<Isa>(MasterBuffer + begin + i), gd, v));
  }
}

// ---- Whole stages ------------------------------------------------------------------------------

template <class Isa>
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

template <class Isa>
void EchoStage(int delay, float g) {
  if (delay < 0 || delay >= SND_TOTAL_SAMPLES) return;
  if (delay > 0 && delay < kChunk) {  // the echo would feed back within one chunk
    for (int i = delay; i < SND_TOTAL_SAMPLES; ++i) TrackBuffer[i] = EchoStep(TrackBuffer[i], g, TrackBuffer[i - delay]);
    return;
  }
  for (int n = delay / kChunk * kChunk; n < SND_TOTAL_SAMPLES; n += kChunk) EchoChunk<Isa>(n, delay, g);
}

// FloatToPcm16 over MasterBuffer, in place: float n is read from byte 4n, sample n written to byte
// 2n. The lanes' floats are all loaded before their samples are stored, and those end no later
// than the next lanes' floats begin.
template <class Isa>
void ConvertStage() {
  constexpr int W = Isa::kLanes;
  auto* bytes = reinterpret_cast<unsigned char*>(MasterBuffer);
  for (int n = 0; n < SND_TOTAL_SAMPLES; n += W) {
    D<Isa> v = Widen<Isa>(Load<Isa>(reinterpret_cast<const float*>(bytes + 4 * n))) * 32767.0;
    v = v == v ? v : 0.0;  // NaN gives 0
    v = v < 32767.0 ? v : 32767.0;
    v = v > -32768.0 ? v : -32768.0;
    *reinterpret_cast<typename Lanes<W>::UnalignedSamples*>(bytes + 2 * n) =
        __builtin_convertvector(__builtin_convertvector(v, typename Lanes<W>::Mask), typename Lanes<W>::Samples);
  }
}

template <class Isa>
void SineStage(const double* in, double* out, int count) {
  for (int i = 0; i < count; i += Isa::kLanes) {
    D<Isa> v;
    std::memcpy(&v, in + i, sizeof v);
    if constexpr (VoiceWork<Isa>::IsPoly()) {
      v = PolySin<Isa>(v);
    } else {
      v = Isa::Sin(v);
    }
    std::memcpy(out + i, &v, sizeof v);
  }
}

template <class Isa>
void MixStage(float gain) {
  if constexpr (Isa::kLanes <= 2) {  // two-lane vectors gain nothing here; the compiler does better alone
    for (int n = 0; n < SND_TOTAL_SAMPLES; ++n) MasterBuffer[n] = MixStep(MasterBuffer[n], gain, TrackBuffer[n]);
  } else {
    for (int n = 0; n < SND_TOTAL_SAMPLES; n += kChunk) MixChunk<Isa>(n, gain);
  }
}

// Voice, effect chain and mix in one pass, in place in TrackBuffer. Each stage runs behind the one
// before it by more than the distance it reads back: the voice and the first echo at sample n
// (the echo reads n - 159201, which holds its output); the second echo at n - lag (reading 115101
// further back, already its output, while everything from n - lag on still holds the first
// echo's output that the first echo reads); and the filters and the mix a block at a time, once
// the second echo no longer reads it. Everything in between stays in the processor's cache.
template <class Isa, int kWarm = 128, int kOver = 128>
void FusedTrackStage(const VoicePlan& plan, float gain) {
  constexpr int lag = (SND_ECHO1_DELAY + 2 * kChunk) / kChunk * kChunk;
  static_assert(SND_ECHO2_DELAY >= kChunk && SND_ECHO2_DELAY >= kOver);
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
    if (n >= lag) EchoChunk<Isa>(n - lag, SND_ECHO2_DELAY, SND_ECHO2_GAIN);
    const int echoed = n + kChunk - lag;  // the second echo is done below this sample
    while (filtered + kBlock <= echoed - SND_ECHO2_DELAY) {
      FilterAndMixBlock<Isa, kWarm, kOver>(filtered, state, gain);
      filtered += kBlock;
    }
  }
  for (; filtered < SND_TOTAL_SAMPLES; filtered += kBlock) FilterAndMixBlock<Isa, kWarm, kOver>(filtered, state, gain);
}

}  // namespace
