// The two sample buffers: cleared to zero however they are cleared, and kept so by preparing them.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/sound.h"

namespace {

bool AllZero(const float (&buffer)[SND_TOTAL_SAMPLES]) {
  return std::all_of(std::begin(buffer), std::end(buffer), [](float x) { return x == 0.0f; });
}

TEST(SoundBuffers, ClearingZeroesEverySampleAndPreparingKeepsThem) {
  for (int round = 0; round < 2; ++round) {  // pages handed out once, then again after a clear
    SCOPED_TRACE(round);
    PrepareSoundBuffers();
    std::fill(std::begin(TrackBuffer), std::end(TrackBuffer), 1.5f);
    std::fill(std::begin(MasterBuffer), std::end(MasterBuffer), -2.0f);
    ClearSoundBuffers();
    EXPECT_TRUE(AllZero(TrackBuffer));
    EXPECT_TRUE(AllZero(MasterBuffer));
    PrepareSoundBuffers();
    EXPECT_TRUE(AllZero(TrackBuffer));
    EXPECT_TRUE(AllZero(MasterBuffer));
  }
}

}  // namespace
