// The note sequence's two file forms: what they read, and where and why they refuse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "synth/note_text.h"
#include "synth/notes.h"

namespace {

NoteSequence Song() { return {SongNotes.begin(), SongNotes.end()}; }

TEST(NoteText, TheSongReadsBackFromItsTextAndItsBytes) {
  NoteSequence notes;
  std::string error;
  const std::string text = NoteText(SongNotes);
  EXPECT_EQ(text.substr(0, 49), "66 - - - 63 - 65 - 61 - 56 - 68 - - -\n66 - - - 63");
  ASSERT_TRUE(ReadNoteText(text, notes, error)) << error;
  EXPECT_EQ(notes, Song());
  ASSERT_TRUE(ReadNoteBytes(SongNotes, notes, error)) << error;
  EXPECT_EQ(notes, Song());
}

TEST(NoteText, ReadsWordsNumbersCommasAndCommentsAndEndsWhereTheContentEnds) {
  NoteSequence notes;
  std::string error;
  ASSERT_TRUE(ReadNoteText("# a tune\n66, hold,-  off\r\n\t007 0 127 254 1 # ünïcode comment\nend # done\n", notes, error))
      << error;
  EXPECT_EQ(notes, (NoteSequence{66, 0, 0, 127, 7, 0, 127, 254, 1, NOTE_END}));
  ASSERT_TRUE(ReadNoteText("70 -", notes, error)) << error;
  EXPECT_EQ(notes, (NoteSequence{70, 0, NOTE_END})) << "the end of the text ends the sequence";
  ASSERT_TRUE(ReadNoteText("end", notes, error)) << error;
  EXPECT_EQ(notes, (NoteSequence{NOTE_END}));
  std::string full;
  for (int i = 0; i < 1800; ++i) full += "60 ";
  ASSERT_TRUE(ReadNoteText(full + "end", notes, error)) << error;
  EXPECT_EQ(notes.size(), 1800u) << "all 1800 units, nothing after them";
  const std::vector<unsigned char> bytes = {66, 0, 127};
  ASSERT_TRUE(ReadNoteBytes(bytes, notes, error)) << error;
  EXPECT_EQ(notes, (NoteSequence{66, 0, 127, NOTE_END}));
}

TEST(NoteText, RefusesWithWhereAndWhat) {
  std::string units_1801;
  for (int i = 0; i < 1801; ++i) units_1801 += "0\n";
  const std::pair<std::string, std::string> texts[] = {
      {"66 300", "line 1, column 4: value 300 is not a byte"},
      {"66\n  -3", "line 2, column 3: value -3 is not a byte"},
      {"99999999999999999999999", "line 1, column 1: value 99999999999999999999999 is not a byte"},
      {"66 loud", "line 1, column 4: 'loud' is not a note value (a number from 0 to 255, -, off or end)"},
      {"ä x", "line 1, column 1: 'ä' is not a note value (a number from 0 to 255, -, off or end)"},
      {"66 \xff", "line 1, column 4: not UTF-8 text"},
      {"66 # \xc0\x80", "line 1, column 6: not UTF-8 text"},
      {std::string("66 \0 0", 6), "line 1, column 4: a NUL byte: not text"},
      {units_1801, "line 1801, column 1: more than 1800 units"},
      {"66 end 0", "line 1, column 8: a value after the end"},
      {"", "not a note sequence: it is empty"},
      {"# nothing\n\n", "not a note sequence: it holds no values"},
  };
  for (const auto& [text, want] : texts) {
    NoteSequence notes = {1};
    std::string error;
    EXPECT_FALSE(ReadNoteText(text, notes, error)) << want;
    EXPECT_EQ(error, want);
    EXPECT_TRUE(notes.empty()) << want;
  }
  const std::pair<std::vector<unsigned char>, std::string> bytes[] = {
      {{}, "not a note sequence: it is empty"},
      {std::vector<unsigned char>(1801, 60), "byte offset 1800: more than 1800 units"},
      {{66, NOTE_END, 0}, "byte offset 2: bytes after the end"},
  };
  for (const auto& [content, want] : bytes) {
    NoteSequence notes;
    std::string error;
    EXPECT_FALSE(ReadNoteBytes(content, notes, error)) << want;
    EXPECT_EQ(error, want);
  }
}

}  // namespace
