// Every render path this processor runs, stage by stage and as a whole, against the plain
// reference: the same bits everywhere.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "audio/pcm.h"
#include "common/sound.h"
#include "reference_render.h"
#include "synth/notes.h"
#include "synth/path_stages.h"
#include "synth/render_paths.h"
#include "synth/song.h"
#include "synth/voice_plan.h"
#include "test_support.h"

namespace {

class EachPath : public ::testing::Test {
 protected:
  static std::vector<float> Noise(unsigned seed, float scale) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-scale, scale);
    std::vector<float> v(SND_TOTAL_SAMPLES);
    for (float& x : v) x = dist(rng);
    return v;
  }
};

TEST_F(EachPath, ThePortablePathIsAlwaysThereAndTheFastestIsUsed) {
  const auto paths = SupportedRenderPaths();
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.front(), RenderPath::Portable);
  EXPECT_EQ(ActiveRenderPath(), paths.back());
#if defined(__x86_64__)
  EXPECT_GE(paths.size(), 2u) << "every x86-64 has SSE2";
#elif defined(__aarch64__)
  EXPECT_EQ(paths.size(), 2u) << "every 64-bit ARM has NEON";
  EXPECT_EQ(paths.back(), RenderPath::Neon);
#endif
#if defined(__EMSCRIPTEN__)
  EXPECT_EQ(paths.back(), RenderPath::WasmSimd) << "the web build's tests link the SIMD path in";
#endif
  for (RenderPath p : {RenderPath::Portable, RenderPath::Sse2, RenderPath::Avx2, RenderPath::Avx512,
                       RenderPath::Neon, RenderPath::WasmSimd}) {
    const bool supported = std::find(paths.begin(), paths.end(), p) != paths.end();
    if (!supported) {
      EXPECT_FALSE(UseRenderPath(p)) << RenderPathName(p);
    }
  }
  EXPECT_EQ(ActiveRenderPath(), paths.back()) << "a refused path changes nothing";
}

TEST_F(EachPath, TheSongGivesThePinnedBlock) {
  ForEachRenderPath([](RenderPath) {
    ClearBuffers();
    CaptureConsole(RenderSong);
    ConvertToPcm16();
    EXPECT_EQ(Crc32(PcmBlock()), kSongCrc);
  });
}

TEST_F(EachPath, VoiceMatchesTheReference) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> notes(1800);
  for (auto& b : notes) b = byte(rng) < 100 ? 0 : static_cast<std::uint8_t>(byte(rng));
  notes[1500] = 255;
  std::vector<float> want;
  ReferenceVoice(notes, want);
  static VoicePlan plan;
  PlanVoice(notes, plan);
  ForEachRenderPath([&](RenderPath path) {
    std::fill(std::begin(TrackBuffer), std::end(TrackBuffer), 1.0f);  // everything is written
    StagesOf(path).voice(plan);
    EXPECT_EQ(FirstDifference(TrackBuffer, want), "");
  });
}

TEST_F(EachPath, EchoMatchesTheReferenceForAnyDelay) {
  const auto input = Noise(9, 1.0f);
  for (int delay : {0, 1, 5, 47, 48, 49, 115101, 159201, SND_TOTAL_SAMPLES - 1, SND_TOTAL_SAMPLES, -3}) {
    SCOPED_TRACE(delay);
    auto want = input;
    ReferenceEcho(want, delay, 0.7f);
    ForEachRenderPath([&](RenderPath path) {
      std::copy(input.begin(), input.end(), TrackBuffer);
      StagesOf(path).echo(delay, 0.7f);
      EXPECT_EQ(FirstDifference(TrackBuffer, want), "");
    });
  }
}

TEST_F(EachPath, MixMatchesTheReference) {
  const auto track = Noise(10, 3.0f), master = Noise(11, 0.1f);
  std::vector<float> want(SND_TOTAL_SAMPLES);
  for (int n = 0; n < SND_TOTAL_SAMPLES; ++n)
    want[n] = static_cast<float>(double{master[n]} + double{0.03f} * double{track[n]});
  ForEachRenderPath([&](RenderPath path) {
    std::copy(track.begin(), track.end(), TrackBuffer);
    std::copy(master.begin(), master.end(), MasterBuffer);
    StagesOf(path).mix(0.03f);
    EXPECT_EQ(FirstDifference(MasterBuffer, want), "");
  });
}

TEST_F(EachPath, ConversionMatchesFloatToPcm16) {
  auto input = Noise(12, 1.3f);
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 1.0f, -1.0f, 1e30f, -0.0f};
  for (std::size_t i = 0; i < std::size(specials); ++i) input[1000 + 37 * i] = specials[i];
  ForEachRenderPath([&](RenderPath) {
    std::copy(input.begin(), input.end(), MasterBuffer);
    ConvertToPcm16();
    const auto pcm = PcmSamples();
    for (int n = 0; n < SND_TOTAL_SAMPLES; ++n) ASSERT_EQ(pcm[n], FloatToPcm16(input[n])) << n;
  });
}

// The vector sines stay within a few units in the last place of the standard sine over the
// arguments the voice uses; the guard that keeps the bits exact allows 8.
TEST_F(EachPath, VectorSineStaysWithinTwoUlpsOfTheStandardSine) {
  std::mt19937_64 rng(13);
  std::uniform_real_distribution<double> dist(-64.0, 64.0);
  std::vector<double> in(1 << 20), out(in.size());
  for (double& x : in) x = dist(rng);
  in[0] = 0.0;
  in[1] = 1e-300;
  in[2] = 3.141592653589793;
  in[3] = -1.5707963267948966;
  ForEachRenderPath([&](RenderPath path) {
    StagesOf(path).sine(in.data(), out.data(), static_cast<int>(in.size()));
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
  });
}

}  // namespace
