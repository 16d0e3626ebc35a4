#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "audio/pcm.h"
#include "common/sound.h"
#include "test_support.h"

namespace {

TEST(FloatToPcm16, TruncatesTowardZero) {
  EXPECT_EQ(FloatToPcm16(0.5f), 16383);
  EXPECT_EQ(FloatToPcm16(-0.5f), -16383);
  EXPECT_EQ(FloatToPcm16(1.0f), 32767);
  EXPECT_EQ(FloatToPcm16(-1.0f), -32767);
  EXPECT_EQ(FloatToPcm16(0.9999f / 32767), 0);
  EXPECT_EQ(FloatToPcm16(-0.9999f / 32767), 0);
  EXPECT_EQ(FloatToPcm16(0.0002608f), 8);  // 8.55 truncates to 8
}

TEST(FloatToPcm16, SaturatesInsteadOfWrapping) {
  constexpr float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(FloatToPcm16(1.5f), 32767);  // wrapping would give -16386
  EXPECT_EQ(FloatToPcm16(-1.5f), -32768);
  EXPECT_EQ(FloatToPcm16(std::nextafter(1.0f, 2.0f)), 32767);
  EXPECT_EQ(FloatToPcm16(1.0001f), 32767);
  EXPECT_EQ(FloatToPcm16(-1.00003f), -32767);  // -32767.98 truncates inside the range
  EXPECT_EQ(FloatToPcm16(-1.00004f), -32768);  // -32768.3: the lowest sample
  EXPECT_EQ(FloatToPcm16(1e30f), 32767);
  EXPECT_EQ(FloatToPcm16(-1e30f), -32768);
  EXPECT_EQ(FloatToPcm16(inf), 32767);
  EXPECT_EQ(FloatToPcm16(-inf), -32768);
  EXPECT_EQ(FloatToPcm16(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(FloatToPcm16(-std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(ConvertToPcm16, ConvertsTheWholeMasterInPlace) {
  // Every float must be read before its bytes are overwritten: fill the master with values whose
  // samples all differ from their neighbours, then compare each converted sample.
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> dist(-1.2f, 1.2f);
  std::vector<float> original(SND_TOTAL_SAMPLES);
  for (float& x : original) x = dist(rng);
  original[17] = std::numeric_limits<float>::quiet_NaN();
  std::copy(original.begin(), original.end(), MasterBuffer);

  ConvertToPcm16();
  const auto pcm = PcmSamples();
  ASSERT_EQ(pcm.size(), static_cast<std::size_t>(SND_TOTAL_SAMPLES));
  for (int n = 0; n < SND_TOTAL_SAMPLES; ++n) ASSERT_EQ(pcm[n], FloatToPcm16(original[n])) << n;
  // The second half still holds the floats nobody reads any more.
  EXPECT_EQ(MasterBuffer[SND_TOTAL_SAMPLES - 1], original.back());
}

}  // namespace
