#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "common/sound.h"
#include "synth/effects.h"
#include "test_support.h"

namespace {

class Effects : public ::testing::Test {
 protected:
  void SetUp() override { ClearBuffers(); }

  static void FillNoise() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (float& x : TrackBuffer) x = dist(rng);
  }
  static std::vector<float> Snapshot() { return {std::begin(TrackBuffer), std::end(TrackBuffer)}; }
  static bool Unchanged(const std::vector<float>& before) {
    return std::memcmp(before.data(), TrackBuffer, sizeof TrackBuffer) == 0;
  }
};

TEST_F(Effects, EchoOfAnImpulseRepeatsEveryDelayFallingByG) {
  TrackBuffer[0] = 1;
  ApplyEcho(159201, 0.7f);
  float expected = 1;
  for (int n = 0; n < SND_TOTAL_SAMPLES; ++n) {
    if (n % 159201 == 0) {
      ASSERT_EQ(TrackBuffer[n], expected) << n;
      expected = static_cast<float>(double{0.7f} * double{expected});
    } else {
      ASSERT_EQ(TrackBuffer[n], 0.0f) << n;
    }
  }
  EXPECT_FLOAT_EQ(TrackBuffer[159201], 0.7f);
  EXPECT_FLOAT_EQ(TrackBuffer[318402], 0.49f);
}

TEST_F(Effects, EchoDelaysAtAndPastTheEndOrNegativeChangeNothing) {
  FillNoise();
  const auto before = Snapshot();
  for (int delay : {SND_TOTAL_SAMPLES, SND_TOTAL_SAMPLES + 1, 1 << 30, -1, -159201, -SND_TOTAL_SAMPLES}) {
    ApplyEcho(delay, 0.7f);
    EXPECT_TRUE(Unchanged(before)) << "delay " << delay;
  }
}

TEST_F(Effects, EchoWithTheLongestDelayChangesOnlyTheLastSample) {
  FillNoise();
  auto expected = Snapshot();
  const int last = SND_TOTAL_SAMPLES - 1;
  expected[last] = static_cast<float>(double{expected[last]} + double{0.3f} * double{expected[0]});
  ApplyEcho(last, 0.3f);
  EXPECT_TRUE(Unchanged(expected));
}

TEST_F(Effects, EchoWithDelayZeroScalesEverySampleByOnePlusG) {
  FillNoise();
  auto expected = Snapshot();
  for (float& x : expected) x = static_cast<float>(double{x} + double{0.7f} * double{x});
  ApplyEcho(0, 0.7f);
  EXPECT_TRUE(Unchanged(expected));
}

TEST_F(Effects, LowPassKeepsAConstantAndSmoothsAStep) {
  std::fill(std::begin(TrackBuffer), std::end(TrackBuffer), 1.0f);
  ApplyLowPass(0.1f);
  EXPECT_TRUE(std::all_of(std::begin(TrackBuffer), std::end(TrackBuffer), [](float x) { return x == 1.0f; }));

  ClearBuffers();
  std::fill(TrackBuffer + 1, std::end(TrackBuffer), 1.0f);  // a step after sample 0
  ApplyLowPass(0.1f);
  EXPECT_EQ(TrackBuffer[0], 0.0f);
  EXPECT_EQ(TrackBuffer[1], static_cast<float>(1.0 + (0.0 - 1.0) * double{0.1f}));
  // Each sample closes the gap to 1 by 90 %: rising, never above 1, and there in the end.
  EXPECT_TRUE(std::is_sorted(std::begin(TrackBuffer), std::end(TrackBuffer)));
  EXPECT_EQ(TrackBuffer[SND_TOTAL_SAMPLES - 1], 1.0f);
}

TEST_F(Effects, EmphasisOfAnImpulseAlternatesHalving) {
  TrackBuffer[0] = 1;
  ApplyEmphasis(0.5f);
  for (int n = 0; n < 60; ++n) ASSERT_EQ(TrackBuffer[n], std::ldexp(n % 2 ? -1.0f : 1.0f, -n)) << n;
}

TEST_F(Effects, EmphasisPassesTwoThirdsOfASteadySignal) {
  std::fill(std::begin(TrackBuffer), std::end(TrackBuffer), 0.75f);
  ApplyEmphasis(0.5f);
  EXPECT_EQ(TrackBuffer[0], 0.75f);
  EXPECT_NEAR(TrackBuffer[SND_TOTAL_SAMPLES - 1], 0.5f, 1e-7);
}

}  // namespace
