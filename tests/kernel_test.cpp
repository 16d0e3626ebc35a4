// The render kernels' own safeguards, with instruction sets made up for the test: the check that
// decides when the vector sine's rounding is in doubt, the recomputation of those samples, and the
// parallel filters' seams, also when the pieces do not meet.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "reference_render.h"
#include "synth/kernels/parallel_filters.h"
#include "synth/kernels/stage_kernels.h"
#include "synth/kernels/track_kernel.h"
#include "test_support.h"

namespace {

// A two-lane path with the polynomial sine, as SSE2 has it.
struct Plain : CompilerConversions<2> {
  static constexpr int kLanes = 2;
  static constexpr SineKind kSine = SineKind::Polynomial;
  static D<Plain> MulAdd(D<Plain> a, D<Plain> b, D<Plain> c) { return a * b + c; }
};

double NudgeUlps(double v, std::int64_t ulps) {
  std::int64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  bits += ulps;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// A sine that lands every result on the halfway point between two floats: every lane is in doubt
// and must be recomputed.
struct TieSine : CompilerConversions<2> {
  static constexpr int kLanes = 2;
  static constexpr SineKind kSine = SineKind::Own;
  static D<TieSine> Sin(D<TieSine> v) {
    for (int k = 0; k < kLanes; ++k) {
      const double s = std::sin(v[k]);
      const float f = static_cast<float>(s);
      v[k] = s == 0 ? 0 : (double{f} + double{std::nextafter(f, 2.0f * f)}) / 2;
    }
    return v;
  }
};

// The standard sine, off by up to 4 units in the last place, within what the check allows.
struct NoisySine : CompilerConversions<2> {
  static constexpr int kLanes = 2;
  static constexpr SineKind kSine = SineKind::Own;
  static D<NoisySine> Sin(D<NoisySine> v) {
    static std::mt19937 rng(17);
    std::uniform_int_distribution<int> off(-4, 4);
    for (int k = 0; k < kLanes; ++k) {
      const double s = std::sin(v[k]);
      v[k] = s == 0 ? s : NudgeUlps(s, off(rng));  // a zero stays exact
    }
    return v;
  }
};

// The largest distance, in units in the last place, between sine and the standard sine over
// random arguments within range.
template <typename Sine>
std::int64_t WorstUlps(Sine sine, double range) {
  std::mt19937_64 rng(19);
  std::uniform_real_distribution<double> dist(-range, range);
  std::int64_t worst = 0;
  for (int i = 0; i < 1 << 19; ++i) {
    const D<Plain> x = {dist(rng), dist(rng)};
    const D<Plain> got = sine(x);
    for (int k = 0; k < 2; ++k) {
      const double want = std::sin(x[k]), lane = got[k];  // clang takes no address of a lane
      std::int64_t a, b;
      std::memcpy(&a, &lane, sizeof a);
      std::memcpy(&b, &want, sizeof b);
      worst = std::max(worst, a > b ? a - b : b - a);
    }
  }
  return worst;
}

TEST(VectorSines, StayWithinTwoUlpsOfTheStandardSineOverTheirRanges) {
  EXPECT_LE(WorstUlps([](D<Plain> x) { return PolySin<Plain>(x); }, 64.0), 2);
  EXPECT_LE(WorstUlps([](D<Plain> x) { return SmallSin<Plain>(x); }, 1.0), 2);
  EXPECT_LE(WorstUlps([](D<Plain> x) { return SmallSin<Plain, true>(x); }, 0.5), 2);
  const D<Plain> zeros = SmallSin<Plain>(D<Plain>{0.0, -0.0});
  EXPECT_FALSE(std::signbit(zeros[0]));
  EXPECT_TRUE(std::signbit(zeros[1]));
}

std::vector<std::uint8_t> RandomNotes(unsigned seed, std::size_t length) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> kind(0, 9), note(40, 90);
  std::vector<std::uint8_t> notes(length);
  for (auto& b : notes) b = kind(rng) < 6 ? 0 : kind(rng) == 0 ? 127 : static_cast<std::uint8_t>(note(rng));
  return notes;
}

template <class Isa>
void ExpectVoiceMatchesReference(const std::vector<std::uint8_t>& notes) {
  static VoicePlan plan;
  PlanVoice(notes, plan);
  RenderVoiceStage<Isa>(plan);
  std::vector<float> want;
  ReferenceVoice(notes, want);
  EXPECT_EQ(FirstDifference(TrackBuffer, want), "");
}

TEST(SineCheck, FlagsValuesNearAFloatTieAndOnlyThose) {
  using M = L<Plain>;
  const float f = 0.7f;
  const double tie = (double{f} + double{std::nextafter(f, 1.0f)}) / 2;
  for (int ulps = -8; ulps <= 8; ++ulps) {
    const D<Plain> v = {NudgeUlps(tie, ulps), -NudgeUlps(tie, ulps)};
    const M unsure = NearFloatTie<Plain>(v);
    EXPECT_TRUE(unsure[0] && unsure[1]) << ulps;
  }
  for (int ulps : {-9, 9, 1 << 20}) {
    const M unsure = NearFloatTie<Plain>(D<Plain>{NudgeUlps(tie, ulps), double{f}});
    EXPECT_FALSE(unsure[0] || unsure[1]) << ulps;
  }
  const M tiny = NearFloatTie<Plain>(D<Plain>{1e-40, 0.0});
  EXPECT_TRUE(tiny[0]) << "its float would be subnormal";
  EXPECT_FALSE(tiny[1]) << "zero is exact";
}

TEST(SineCheck, SumsAreJudgedByTheLargerAddend) {
  // A sum near a float tie is in doubt by the error of its addend, which may be far larger than
  // the sum itself after cancellation.
  const float f = 1e-3f;
  const double tie = (double{f} + double{std::nextafter(f, 1.0f)}) / 2;
  const double big = 0.75;
  const double off = 100 * (tie - NudgeUlps(tie, -1));  // 100 ulps of the sum, far below big's ulp * 8
  const L<Plain> unsure = UncertainSum<Plain>(D<Plain>{tie + off, tie + off}, D<Plain>{big, 0.0});
  EXPECT_TRUE(unsure[0]) << "the addend's error reaches the tie";
  EXPECT_FALSE(unsure[1]) << "without the addend, 100 ulps is safe";
}

TEST(SineCheck, SamplesInDoubtAreRecomputedExactly) {
  ExpectVoiceMatchesReference<TieSine>(RandomNotes(21, 200));
}

TEST(SineCheck, ASineOffByFourUlpsStillGivesTheSameBits) {
  ExpectVoiceMatchesReference<NoisySine>(RandomNotes(22, 900));
}

class ParallelFilters : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 rng(23);
    std::uniform_real_distribution<float> dist(-2.0f, 2.0f);
    input_.resize(SND_TOTAL_SAMPLES);
    for (int n = 0; n < SND_TOTAL_SAMPLES; ++n) input_[n] = n % 50000 < 20000 ? 0.0f : dist(rng);  // with silences
    want_ = input_;
    ReferenceLowPass(want_, SND_LOWPASS);
    ReferenceEmphasis(want_, SND_EMPHASIS);
    std::copy(input_.begin(), input_.end(), TrackBuffer);
  }

  // Filters the whole track block by block, each from the state the one before left; counts the
  // blocks whose pieces did not meet (those are then done sample by sample, as the renderer does).
  template <int kWarm, int kOver>
  int FilterAll(std::vector<float>& out) {
    out.resize(SND_TOTAL_SAMPLES);
    static SeamLog log;
    FilterState state;
    int failed = 0;
    for (int begin = 0; begin < SND_TOTAL_SAMPLES; begin += kFilterBlock) {
      const FilterState before = state;
      if (!FilterBlockInParallel<Plain, kWarm, kOver>(begin, state, out.data() + begin, log)) {
        ++failed;
        state = before;
        FilterBlockInSequence(begin, state, out.data() + begin);
      }
    }
    return failed;
  }

  std::vector<float> input_, want_;
};

TEST_F(ParallelFilters, PiecesMeetAndGiveTheSequentialBits) {
  std::vector<float> out;
  EXPECT_EQ((FilterAll<128, 128>(out)), 0);
  EXPECT_EQ(FirstDifference(out, want_), "");
  EXPECT_EQ(FirstDifference(TrackBuffer, input_), "") << "the input is left for a retry";
}

TEST_F(ParallelFilters, PiecesThatMeetAfterTheirStartTakeTheSamplesBeforeFromThePieceBefore) {
  // Started only 4 samples early, the chains meet within the piece; the samples before the
  // meeting point must come from the piece before.
  std::vector<float> out;
  EXPECT_EQ((FilterAll<4, 250>(out)), 0);
  EXPECT_EQ(FirstDifference(out, want_), "");
}

TEST_F(ParallelFilters, PiecesThatDoNotMeetAreReportedAndRedoneInSequence) {
  std::vector<float> out;
  EXPECT_GT((FilterAll<1, 1>(out)), 0);
  EXPECT_EQ(FirstDifference(out, want_), "");
}

TEST(FusedTrack, FallsBackToSequentialFiltersWhenPiecesDoNotMeet) {
  const auto notes = RandomNotes(24, 400);
  static VoicePlan plan;
  static TrackScratch scratch;
  PlanVoice(notes, plan);
  ClearBuffers();
  FusedTrackStage<Plain, 1, 1>(plan, 0.25f, scratch);
  auto ref = MakeReferenceTrack();
  ReferenceRenderTrack(notes, 0.25f, ref);
  EXPECT_EQ(FirstDifference(TrackBuffer, ref.track), "");
  EXPECT_EQ(FirstDifference(MasterBuffer, ref.master), "");
}

}  // namespace
