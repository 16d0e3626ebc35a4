#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "reference_render.h"
#include "synth/notes.h"

namespace {

std::uint32_t Bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

double Hz(int n) { return double{NoteToIncrement(n)} * 44100.0; }

TEST(NoteToIncrement, NoteZeroAndBelowGiveTheBasePitch) {
  for (int n : {0, -1, -7, INT_MIN}) EXPECT_EQ(Bits(NoteToIncrement(n)), 0x39384608u) << n;
}

TEST(NoteToIncrement, RoundsAfterEverySemitoneStep) {
  // A power function would give 124.0000, 248.0000 and 496.0000 Hz; the stepwise float
  // rounding drifts sharp by these amounts.
  EXPECT_NEAR(Hz(48), 124.0003, 5e-5);
  EXPECT_NEAR(Hz(60), 248.0006, 5e-5);
  EXPECT_NEAR(Hz(72), 496.0016, 5e-5);
  EXPECT_NEAR(NoteToIncrement(60), 0.0056235972, 5e-11);
  EXPECT_NEAR(NoteToIncrement(63), 0.0066876230, 5e-11);
  for (int n = -3; n <= 300; ++n) EXPECT_EQ(Bits(NoteToIncrement(n)), Bits(ReferenceNoteToIncrement(n))) << n;
}

TEST(NoteToIncrement, PitchesOfTheSong) {
  const struct {
    int n;
    double hz;
  } table[] = {{48, 124.00}, {53, 165.52}, {55, 185.79}, {57, 208.54}, {58, 220.94}, {60, 248.00},
               {62, 278.37}, {63, 294.92}, {65, 331.04}, {67, 371.58}, {69, 417.09}, {70, 441.89},
               {72, 496.00}};
  for (const auto& row : table) EXPECT_NEAR(Hz(row.n), row.hz, 0.006) << row.n;
}

TEST(NoteToIncrement, HugeNoteOverflowsToInfinityWithoutRunningLong) {
  EXPECT_EQ(NoteToIncrement(2000), ReferenceNoteToIncrement(2000));
  EXPECT_TRUE(std::isinf(NoteToIncrement(INT_MAX)));
}

TEST(SongNotes, IsTheBarFiftySixTimesThenEnd) {
  ASSERT_EQ(SongNotes.size(), 897u);
  const std::uint8_t bar[16] = {66, 0, 0, 0, 63, 0, 65, 0, 61, 0, 56, 0, 68, 0, 0, 0};
  for (std::size_t i = 0; i < 896; ++i) ASSERT_EQ(SongNotes[i], bar[i % 16]) << i;
  EXPECT_EQ(SongNotes[896], NOTE_END);
}

TEST(SectionTranspose, BoundsAreInclusive) {
  EXPECT_EQ(SectionTranspose(0), 0);
  EXPECT_EQ(SectionTranspose(256), 0);
  EXPECT_EQ(SectionTranspose(257), -5);
  EXPECT_EQ(SectionTranspose(512), -5);
  EXPECT_EQ(SectionTranspose(513), 7);
  EXPECT_EQ(SectionTranspose(768), 7);
  EXPECT_EQ(SectionTranspose(769), 0);
  EXPECT_EQ(SectionTranspose(1799), 0);
  // In the song: the first note of bar 17 still plays untransposed, the next one is 5 lower.
  EXPECT_EQ(NoteNumber(SongNotes[256], 256), 63);
  EXPECT_EQ(NoteNumber(SongNotes[260], 260), 55);
}

}  // namespace
