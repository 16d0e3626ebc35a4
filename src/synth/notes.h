// The note sequence format, the built-in song and the mapping from note to pitch.
//
// A note sequence holds one byte per sound unit (SND_UNIT_LEN samples); byte i governs unit i.
#pragma once

#include <array>
#include <cstdint>

constexpr std::uint8_t NOTE_HOLD = 0;   // keep the current note sounding
constexpr std::uint8_t NOTE_OFF = 127;  // stop the oscillator; the unit stays silent
constexpr std::uint8_t NOTE_END = 255;  // end of the sequence; this unit and all later are silent
// Every other byte value starts that note at its unit.

// The built-in song: a 16-unit bar played 56 times (89.6 s), then NOTE_END.
constexpr int SND_SONG_BARS = 56;
constexpr std::array<std::uint8_t, 16> SND_SONG_BAR = {66, 0, 0, 0, 63, 0, 65, 0,
                                                       61, 0, 56, 0, 68, 0, 0, 0};

inline constexpr auto SongNotes = [] {
  std::array<std::uint8_t, SND_SONG_BARS * SND_SONG_BAR.size() + 1> notes{};
  for (std::size_t i = 0; i + 1 < notes.size(); ++i) notes[i] = SND_SONG_BAR[i % SND_SONG_BAR.size()];
  notes.back() = NOTE_END;
  return notes;
}();

// Transposition in semitones of a note that starts at the given unit. Each bound is inclusive,
// so the first note of a section still takes the transposition of the section before.
constexpr int SectionTranspose(int unit) {
  if (unit <= 256) return 0;
  if (unit <= 512) return -5;
  if (unit <= 768) return 7;
  return 0;
}

// The note number a note-on byte plays at the given unit.
constexpr int NoteNumber(std::uint8_t note_byte, int unit) {
  return note_byte + SectionTranspose(unit) - 3;
}

// Phase increment, in cycles per sample, of note number n. The semitone steps are multiplied up
// one by one with float rounding after each step; that rounding is part of the pitch.
float NoteToIncrement(int n);
