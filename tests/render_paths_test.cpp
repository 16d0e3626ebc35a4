// Every render path this processor runs, stage by stage and as a whole, against the plain
// reference: the same bits everywhere. Each case runs once per path and is named after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "audio/pcm.h"
#include "common/sound.h"
#include "reference_render.h"
#include "synth/kernels/voice_plan.h"
#include "synth/notes.h"
#include "synth/paths/path_stages.h"
#include "synth/paths/render_paths.h"
#include "synth/song.h"
#include "test_support.h"

namespace {

// Long enough for every distance the echo kernel treats apart (within a chunk, across chunks, at
// the end), short enough to check quickly on every path.
constexpr int kStageSamples = 200'000 + 7;  // not whole chunks: the tail is done too

std::vector<float> Noise(unsigned seed, float scale, int count = kStageSamples) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-scale, scale);
  std::vector<float> v(count);
  for (float& x : v) x = dist(rng);
  return v;
}

TEST(RenderPaths, ThePortablePathIsAlwaysThereTheFastestIsUsedAndOthersAreRefused) {
  const auto paths = SupportedRenderPaths();
  ASSERT_FALSE(paths.empty());
  EXPECT_STREQ(RenderPathName(paths.front()), "portable");
  EXPECT_EQ(ActiveRenderPath(), paths.back());
  const std::string fastest = RenderPathName(paths.back());
#if defined(__x86_64__)
  EXPECT_GE(paths.size(), 2u) << "every x86-64 has SSE2";
  EXPECT_EQ(FindRenderPath("neon"), nullptr);
#elif defined(__aarch64__)
  EXPECT_EQ(fastest, "neon") << "every 64-bit ARM has NEON";
  EXPECT_EQ(FindRenderPath("avx2"), nullptr);
#endif
#if defined(__EMSCRIPTEN__)
  EXPECT_EQ(fastest, "wasm-simd") << "the web build's tests link the SIMD path in";
#endif
  for (RenderPath p : paths) EXPECT_EQ(FindRenderPath(RenderPathName(p)), p);
  EXPECT_EQ(FindRenderPath("no-such-path"), nullptr);
}

class EachPath : public OnEachRenderPath {};
INSTANTIATE_TEST_SUITE_P(Paths, EachPath, EachRenderPath(), PathCaseName);

TEST_P(EachPath, TheSongGivesThePinnedBlock) {
  ClearBuffers();
  CaptureConsole(RenderSong);
  ConvertToPcm16();
  EXPECT_EQ(Crc32(PcmBlock()), kSongCrc);
}

TEST_P(EachPath, VoiceMatchesTheReference) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> notes(1800);
  for (auto& b : notes) b = byte(rng) < 100 ? 0 : static_cast<std::uint8_t>(byte(rng));
  notes[1500] = 255;
  std::vector<float> want;
  ReferenceVoice(notes, want);
  static VoicePlan plan;
  PlanVoice(notes, plan);
  std::fill(std::begin(TrackBuffer), std::end(TrackBuffer), 1.0f);  // everything is written
  StagesOf(GetParam()).voice(plan);
  EXPECT_EQ(FirstDifference(TrackBuffer, want), "");
}

TEST_P(EachPath, EchoMatchesTheReferenceForAnyDelay) {
  const auto input = Noise(9, 1.0f);
  for (int delay : {0, 1, 5, 47, 48, 49, 115101, 159201, kStageSamples - 1, kStageSamples, -3}) {
    SCOPED_TRACE(delay);
    auto want = input, got = input;
    ReferenceEcho(want, delay, 0.7f);
    StagesOf(GetParam()).echo(got, delay, 0.7f);
    EXPECT_EQ(FirstDifference(got, want), "");
  }
}

TEST_P(EachPath, MixMatchesTheReference) {
  const auto track = Noise(10, 3.0f);
  auto master = Noise(11, 0.1f);
  std::vector<float> want(master.size());
  for (std::size_t n = 0; n < want.size(); ++n)
    want[n] = static_cast<float>(double{master[n]} + double{0.03f} * double{track[n]});
  StagesOf(GetParam()).mix(master, track, 0.03f);
  EXPECT_EQ(FirstDifference(master, want), "");
}

TEST_P(EachPath, ConversionMatchesFloatToPcm16) {
  auto input = Noise(12, 1.3f);
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 1.0f, -1.0f, 1e30f, -0.0f};
  for (std::size_t i = 0; i < std::size(specials); ++i) input[1000 + 37 * i] = specials[i];
  auto samples = input;
  StagesOf(GetParam()).convert(samples);
  std::vector<std::int16_t> pcm(samples.size());
  std::memcpy(pcm.data(), samples.data(), pcm.size() * sizeof pcm[0]);
  for (std::size_t n = 0; n < pcm.size(); ++n) ASSERT_EQ(pcm[n], FloatToPcm16(input[n])) << n;
}

// The vector sines stay within a few units in the last place of the standard sine over the
// arguments the voice uses; the guard that keeps the bits exact allows 8.
TEST_P(EachPath, VectorSineStaysWithinTwoUlpsOfTheStandardSine) {
  std::mt19937_64 rng(13);
  std::uniform_real_distribution<double> dist(-64.0, 64.0);
  std::vector<double> in(1 << 20), out(in.size());
  for (double& x : in) x = dist(rng);
  in[0] = 0.0;
  in[1] = 1e-300;
  in[2] = 3.141592653589793;
  in[3] = -1.5707963267948966;
  StagesOf(GetParam()).sine(in.data(), out.data(), static_cast<int>(in.size()));
  std::int64_t worst = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    std::int64_t a, b;
    const double want = std::sin(in[i]);
    std::memcpy(&a, &out[i], sizeof a);
    std::memcpy(&b, &want, sizeof b);
    worst = std::max(worst, a > b ? a - b : b - a);
  }
  EXPECT_LE(worst, 2);
  EXPECT_EQ(std::signbit(out[0]), false);
}

}  // namespace
