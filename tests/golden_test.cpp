// The built-in song, rendered and converted exactly as the player does, pinned to the bit.
#include <gtest/gtest.h>

#include <algorithm>

#include "audio/pcm.h"
#include "common/sound.h"
#include "synth/song.h"
#include "test_support.h"

namespace {

TEST(Song, RendersToThePinnedBlock) {
  ClearBuffers();
  EXPECT_EQ(CaptureConsole(RenderSong), kConsoleLines);

  // The processed track, as it was mixed.
  const std::pair<int, float> track[] = {{0, 0.008693749085068703f},     {1, 0.012168816290795803f},
                                         {141120, 0.04302263632416725f}, {1128960, 0.34762656688690186f},
                                         {1146600, 0.20962965488433838f}, {3951360, 0.252760648727417f}};
  for (const auto& [n, value] : track) EXPECT_EQ(TrackBuffer[n], value) << n;
  EXPECT_EQ(MasterBuffer[0], static_cast<float>(double{0.03f} * double{TrackBuffer[0]}));

  ConvertToPcm16();
  ASSERT_EQ(PcmBlock().size(), 15876000u);
  EXPECT_EQ(Crc32(PcmBlock()), kSongCrc);
  const auto pcm = PcmSamples();

  const std::int16_t first[] = {8, 11, 18, 23, 29, 35, 41, 46};
  EXPECT_TRUE(std::equal(std::begin(first), std::end(first), pcm.begin()));
  const auto [low, high] = std::minmax_element(pcm.begin(), pcm.end());
  EXPECT_EQ(*low, -1999);
  EXPECT_EQ(low - pcm.begin(), 2895490);
  EXPECT_EQ(*high, 1935);
  EXPECT_EQ(high - pcm.begin(), 3600130);
  const auto last = std::find_if(pcm.rbegin(), pcm.rend(), [](std::int16_t s) { return s != 0; });
  EXPECT_EQ(pcm.rend() - last - 1, 7243009);
}

}  // namespace
