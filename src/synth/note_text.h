// Note sequences as a listener writes and shares them: the bytes themselves, exactly the format
// RenderTrack reads, or a text form written by hand:
//
//   # a comment, to the end of the line
//   66 - - -  63 -  65 -  61 -  56 -  68 - - -     # one value a unit, 16 to a bar
//   off end
//
// Values are separated by white space or commas: a note-on as its decimal byte (1 to 126, 128
// to 254), "-" or "hold" (0, the note sounds on), "off" (127), "end" (255); any byte may also be
// written as its number. In both forms the end of the content ends the sequence as NOTE_END does.
// More than SND_UNIT_NUM units, or anything but comments after the end, is an error: nothing of
// the content is silently dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Units read, with NOTE_END after them where they are fewer than SND_UNIT_NUM.
using NoteSequence = std::vector<std::uint8_t>;

// The longest text taken: room for every unit with a long comment of its own.
constexpr std::size_t kMaxNoteTextBytes = std::size_t{1} << 20;

// False, with error saying where and what ("line 3, column 5: value 300 is not a byte"), if the
// text is no note sequence: not UTF-8, a NUL byte, a word that is no value, a value that is no
// byte, too many units, or no units at all.
bool ReadNoteText(std::string_view text, NoteSequence& notes, std::string& error);

// The same for the bytes ("byte offset 1800: more than 1800 units").
bool ReadNoteBytes(std::span<const unsigned char> bytes, NoteSequence& notes, std::string& error);

// The text form of a sequence (up to its NOTE_END), a bar of 16 units a line, ended by "end".
std::string NoteText(std::span<const std::uint8_t> notes);
