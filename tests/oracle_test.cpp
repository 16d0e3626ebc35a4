// RenderTrack against the plain reference on random note sequences, bit for bit, on every render
// path this processor runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "common/sound.h"
#include "reference_render.h"
#include "synth/notes.h"
#include "synth/render.h"
#include "test_support.h"

namespace {

// Mostly holds, some note-ons over the whole byte range, some NOTE_OFF; NOTE_END only where
// asked for, at a random place; with every_byte, each byte value but NOTE_END somewhere too.
std::vector<std::uint8_t> RandomNotes(std::mt19937& rng, std::size_t length, bool with_end, bool every_byte = false) {
  std::vector<std::uint8_t> notes(length);
  std::uniform_int_distribution<int> kind(0, 99), any_note(1, 254), song_note(50, 80);
  for (auto& b : notes) {
    const int k = kind(rng);
    if (k < 60) {
      b = NOTE_HOLD;
    } else if (k < 68) {
      b = NOTE_OFF;
    } else {
      int note = k < 90 ? song_note(rng) : any_note(rng);
      if (note == NOTE_OFF) note = 1;
      b = static_cast<std::uint8_t>(note);
    }
  }
  if (every_byte) {
    std::vector<std::size_t> places(length);
    std::iota(places.begin(), places.end(), std::size_t{0});
    std::shuffle(places.begin(), places.end(), rng);
    for (int b = 0; b < NOTE_END; ++b) notes[places[b]] = static_cast<std::uint8_t>(b);
  }
  if (with_end && length > 0) notes[std::uniform_int_distribution<std::size_t>(0, length - 1)(rng)] = NOTE_END;
  return notes;
}

struct Case {
  std::size_t length;
  bool with_end;
  bool every_byte = false;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.length << " bytes" << (c.with_end ? " with NOTE_END" : "") << (c.every_byte ? ", every byte value" : "");
}

class Oracle : public ::testing::TestWithParam<std::tuple<Case, RenderPath>> {
 private:
  UsingRenderPath path_{std::get<1>(GetParam())};
};

TEST_P(Oracle, RenderTrackMatchesTheReferenceBitForBit) {
  const Case c = std::get<0>(GetParam());
  std::mt19937 rng(static_cast<unsigned>(1000 + c.length * 2 + c.with_end));
  const auto first = RandomNotes(rng, c.length, c.with_end, c.every_byte);
  const auto second = RandomNotes(rng, c.length / 3, false);

  auto after_first = MakeReferenceTrack();
  ReferenceRenderTrack(first, 0.03f, after_first);
  auto after_both = after_first;
  ReferenceRenderTrack(second, 0.7f, after_both);

  ClearBuffers();
  CaptureConsole([&] {
    RenderTrack(0, first, 0.03f);
    EXPECT_EQ(FirstDifference(TrackBuffer, after_first.track), "") << "first track";
    RenderTrack(3, second, 0.7f);
  });
  EXPECT_EQ(FirstDifference(TrackBuffer, after_both.track), "") << "second track";
  EXPECT_EQ(FirstDifference(MasterBuffer, after_both.master), "") << "master";
}

INSTANTIATE_TEST_SUITE_P(RandomSequences, Oracle,
                         ::testing::Combine(::testing::Values(Case{1, false}, Case{300, false}, Case{1799, false},
                                                              Case{1800, false}, Case{2500, false}, Case{1800, true},
                                                              Case{900, true}, Case{1800, false, true}),
                                            EachRenderPath()),
                         [](const auto& info) {
                           const Case c = std::get<0>(info.param);
                           return "length_" + std::to_string(c.length) + (c.with_end ? "_with_end" : "") +
                                  (c.every_byte ? "_every_byte" : "") + "_on_" +
                                  PathName(std::get<1>(info.param));
                         });

}  // namespace
