#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/sound.h"
#include "reference_render.h"
#include "synth/effects.h"
#include "synth/notes.h"
#include "synth/paths/path_stages.h"
#include "synth/render.h"
#include "test_support.h"

namespace {

bool AllZero(const float* begin, const float* end) {
  return std::all_of(begin, end, [](float x) { return x == 0.0f; });
}

class Render : public ::testing::Test {
 protected:
  void SetUp() override { ClearBuffers(); }
};

TEST_F(Render, ChannelAboveFourDoesNothingAtAll) {
  std::fill(std::begin(TrackBuffer), std::end(TrackBuffer), 0.25f);
  std::fill(std::begin(MasterBuffer), std::end(MasterBuffer), 0.5f);
  const std::string printed = CaptureConsole([] { RenderTrack(5, SongNotes, 1.0f); });
  EXPECT_EQ(printed, "");
  EXPECT_TRUE(std::all_of(std::begin(TrackBuffer), std::end(TrackBuffer), [](float x) { return x == 0.25f; }));
  EXPECT_TRUE(std::all_of(std::begin(MasterBuffer), std::end(MasterBuffer), [](float x) { return x == 0.5f; }));
}

TEST_F(Render, ChannelsUpToFourIncludingNegativeRenderAndPrint) {
  const std::vector<std::uint8_t> notes = {66, 0, NOTE_END};
  for (int channel : {4, 0, -1}) {
    ClearBuffers();
    const std::string printed = CaptureConsole([&] { RenderTrack(channel, notes, 1.0f); });
    EXPECT_EQ(printed, "Render Track ch[" + std::to_string(channel) + "]\n");
    EXPECT_NE(MasterBuffer[1], 0.0f) << channel;
  }
}

TEST_F(Render, EndAtIndexZeroPrintsButRendersSilence) {
  std::fill(std::begin(TrackBuffer), std::end(TrackBuffer), 0.25f);
  std::fill(std::begin(MasterBuffer), std::end(MasterBuffer), 0.5f);
  const std::vector<std::uint8_t> notes = {NOTE_END, 66, 0, 0};
  EXPECT_EQ(CaptureConsole([&] { RenderTrack(2, notes, 1.0f); }), "Render Track ch[2]\n");
  EXPECT_TRUE(AllZero(std::begin(TrackBuffer), std::end(TrackBuffer)));
  EXPECT_TRUE(std::all_of(std::begin(MasterBuffer), std::end(MasterBuffer), [](float x) { return x == 0.5f; }));
}

TEST_F(Render, ShortSequenceEndsWhereItsBytesEnd) {
  // Exactly three bytes on the heap: a read past them is a fault the sanitizer build reports.
  const std::vector<std::uint8_t> notes = {66, 0, 0};
  const std::vector<std::uint8_t> ended = {66, 0, 0, NOTE_END, 61, 0};
  RenderVoice(ended);
  const std::vector<float> want(std::begin(TrackBuffer), std::end(TrackBuffer));
  RenderVoice(notes);
  EXPECT_EQ(FirstDifference(TrackBuffer, want), "");
  EXPECT_NE(TrackBuffer[3 * SND_UNIT_LEN - 1], 0.0f);
  EXPECT_TRUE(AllZero(TrackBuffer + 3 * SND_UNIT_LEN, std::end(TrackBuffer)));
  RenderVoice({});
  EXPECT_TRUE(AllZero(std::begin(TrackBuffer), std::end(TrackBuffer)));
}

TEST_F(Render, SequenceIsReadForAtMostAllUnits) {
  // 2000 note-ons: units past the last one (1799) do not exist.
  const std::vector<std::uint8_t> notes(2000, 66);
  RenderVoice(notes);
  EXPECT_NE(TrackBuffer[SND_TOTAL_SAMPLES - 1], 0.0f);
}

TEST_F(Render, NoteOffSilencesUntilTheNextNoteRestartsPhaseAndEnvelope) {
  const std::vector<std::uint8_t> notes = {66, 0, NOTE_OFF, 0, 0, 63, 0, NOTE_END};
  RenderVoice(notes);
  const std::vector<float> got(std::begin(TrackBuffer), std::end(TrackBuffer));
  EXPECT_NE(got[2 * SND_UNIT_LEN - 1], 0.0f) << "a held note sounds on";
  EXPECT_TRUE(AllZero(&got[2 * SND_UNIT_LEN], &got[5 * SND_UNIT_LEN]));

  // Unit 5 sounds exactly like note 63 started from rest at unit 5.
  const std::vector<std::uint8_t> fresh = {NOTE_OFF, NOTE_OFF, NOTE_OFF, NOTE_OFF, NOTE_OFF, 63, 0, NOTE_END};
  RenderVoice(fresh);
  EXPECT_EQ(std::memcmp(&got[5 * SND_UNIT_LEN], &TrackBuffer[5 * SND_UNIT_LEN], 2 * SND_UNIT_LEN * sizeof(float)), 0);
  EXPECT_NE(TrackBuffer[5 * SND_UNIT_LEN], 0.0f);
}

TEST_F(Render, TwoRendersAccumulateInTheMaster) {
  const std::vector<std::uint8_t> first = {66, 0, 0, 0, 63, NOTE_END};
  const std::vector<std::uint8_t> second = {NOTE_OFF, 70, 0, NOTE_OFF, 56};
  CaptureConsole([&] {
    RenderTrack(0, first, 0.03f);
    RenderTrack(1, second, -0.5f);
  });
  auto ref = MakeReferenceTrack();
  ReferenceRenderTrack(first, 0.03f, ref);
  ReferenceRenderTrack(second, -0.5f, ref);
  EXPECT_EQ(FirstDifference(TrackBuffer, ref.track), "");
  EXPECT_EQ(FirstDifference(MasterBuffer, ref.master), "");
}

TEST_F(Render, SongVoiceBeforeTheEffects) {
  RenderVoice(SongNotes);
  EXPECT_EQ(TrackBuffer[0], 0.008693749085068703f);
  EXPECT_EQ(TrackBuffer[1], 0.01738479547202587f);
  EXPECT_EQ(TrackBuffer[2], 0.026072174310684204f);
  EXPECT_EQ(TrackBuffer[3], 0.0347549244761467f);
  EXPECT_EQ(TrackBuffer[141120], 0.05458560958504677f);
  EXPECT_EQ(TrackBuffer[1128960], 0.04345560818910599f);
  EXPECT_EQ(TrackBuffer[1146600], 0.027380602434277534f);
  // Units 0 to 895 sound, everything from NOTE_END on is silent.
  EXPECT_NE(TrackBuffer[3951359], 0.0f);
  EXPECT_TRUE(AllZero(TrackBuffer + 3951360, std::end(TrackBuffer)));
}

TEST_F(Render, SongThroughEachEffect) {
  RenderVoice(SongNotes);
  const int n = 1128960;
  ApplyEcho(159201, 0.7f);
  EXPECT_EQ(TrackBuffer[n], 0.40833812952041626f);
  ApplyEcho(115101, 0.3f);
  EXPECT_EQ(TrackBuffer[n], 0.453745037317276f);
  ApplyLowPass(0.1f);
  EXPECT_EQ(TrackBuffer[n], 0.43617716431617737f);
  ApplyEmphasis(0.5f);
  EXPECT_EQ(TrackBuffer[n], 0.34762656688690186f);
}

}  // namespace
