#include "synth/note_text.h"

#include <charconv>

#include "common/sound.h"
#include "synth/notes.h"

namespace {

constexpr int kBar = 16;

// Where a token starts: line and column from 1, columns counted in characters.
struct Place {
  int line = 1, column = 1;
  std::string Text() const { return "line " + std::to_string(line) + ", column " + std::to_string(column); }
};

// The length of the UTF-8 character that starts at text[i], or 0 where none does.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  const std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (n == 0 || i + n > text.size() || (n == 2 && c < 0xC2)) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  const auto c1 = static_cast<unsigned char>(text[i + 1 < text.size() ? i + 1 : i]);
  if ((n == 3 && c == 0xE0 && c1 < 0xA0) || (n == 3 && c == 0xED && c1 >= 0xA0) ||  // overlong, surrogates
      (n == 4 && c == 0xF0 && c1 < 0x90) || (n == 4 && (c > 0xF4 || (c == 0xF4 && c1 >= 0x90))))
    return 0;
  return n;
}

// A token's value, or a message saying why it has none.
bool Value(std::string_view token, std::uint8_t& value, std::string& why) {
  if (token == "-" || token == "hold") return value = NOTE_HOLD, true;
  if (token == "off") return value = NOTE_OFF, true;
  if (token == "end") return value = NOTE_END, true;
  const bool negative = token[0] == '-';
  const std::string_view digits = negative ? token.substr(1) : token;
  long number = 0;
  const auto [end, result] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (digits.empty() || result != std::errc{} || end != digits.data() + digits.size() || digits[0] == '+') {
    if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos) {
      why.assign("value ").append(token).append(" is not a byte");  // too many digits for a long
      return false;
    }
    why.assign("'").append(token).append("' is not a note value (a number from 0 to 255, -, off or end)");
    return false;
  }
  if (negative || number > 255) {
    why.assign("value ").append(token).append(" is not a byte");
    return false;
  }
  value = static_cast<std::uint8_t>(number);
  return true;
}

// Appends a unit; false, with error, where the sequence already holds all it can.
bool Add(NoteSequence& notes, std::uint8_t value, const std::string& where, std::string& error) {
  if (value == NOTE_END) return true;
  if (notes.size() == SND_UNIT_NUM) {
    error = where + ": more than " + std::to_string(SND_UNIT_NUM) + " units";
    return false;
  }
  notes.push_back(value);
  return true;
}

void Finish(NoteSequence& notes) {
  if (notes.size() < SND_UNIT_NUM) notes.push_back(NOTE_END);
}

}  // namespace

bool ReadNoteText(std::string_view text, NoteSequence& notes, std::string& error) {
  notes.clear();
  Place at;
  bool ended = false, any = false;
  std::size_t i = 0;
  const auto fail = [&](const Place& where, const std::string& what) {
    error = where.Text() + ": " + what;
    notes.clear();
    return false;
  };
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n') {
      ++at.line;
      at.column = 1;
      ++i;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
      ++at.column;
      ++i;
    } else if (c == '#') {  // a comment: the rest of the line, in any characters but NUL
      for (; i < text.size() && text[i] != '\n'; ++at.column) {
        if (text[i] == '\0') return fail(at, "a NUL byte: not text");
        const std::size_t n = Utf8Length(text, i);
        if (n == 0) return fail(at, "not UTF-8 text");
        i += n;
      }
    } else if (c == '\0') {
      return fail(at, "a NUL byte: not text");
    } else {
      const Place start = at;
      const std::size_t from = i;
      while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n' &&
             text[i] != ',' && text[i] != '#' && text[i] != '\0') {
        const std::size_t n = Utf8Length(text, i);
        if (n == 0) return fail(at, "not UTF-8 text");
        i += n;
        ++at.column;
      }
      if (ended) return fail(start, "a value after the end");
      std::uint8_t value = 0;
      std::string why;
      if (!Value(text.substr(from, i - from), value, why)) return fail(start, why);
      if (!Add(notes, value, start.Text(), error)) return notes.clear(), false;
      ended = value == NOTE_END;
      any = true;
    }
  }
  if (!any) {
    error = "not a note sequence: " + std::string(text.empty() ? "it is empty" : "it holds no values");
    return false;
  }
  Finish(notes);
  return true;
}

bool ReadNoteBytes(std::span<const unsigned char> bytes, NoteSequence& notes, std::string& error) {
  notes.clear();
  if (bytes.empty()) {
    error = "not a note sequence: it is empty";
    return false;
  }
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::string where = "byte offset " + std::to_string(i);
    if (bytes[i] == NOTE_END) {
      if (i + 1 < bytes.size()) {
        error = "byte offset " + std::to_string(i + 1) + ": bytes after the end";
        notes.clear();
        return false;
      }
      break;
    }
    if (!Add(notes, bytes[i], where, error)) return notes.clear(), false;
  }
  Finish(notes);
  return true;
}

std::string NoteText(std::span<const std::uint8_t> notes) {
  std::string text;
  std::size_t i = 0;
  for (; i < notes.size() && i < SND_UNIT_NUM && notes[i] != NOTE_END; ++i) {
    text += i % kBar == 0 ? (i > 0 ? "\n" : "") : " ";
    text += notes[i] == NOTE_HOLD ? "-" : notes[i] == NOTE_OFF ? "off" : std::to_string(notes[i]);
  }
  if (i < SND_UNIT_NUM) text += i == 0 ? "end" : "\nend";
  return text + "\n";
}
