// The note reader and the render of what it reads, for libFuzzer: any content, read in both
// forms; what one accepts must read back from its text form unchanged, and render to a mix that
// stays finite and below full scale (the echoes and filters raise a voice of at most 1 to under 10,
// the gain of 0.03 keeps that far from 1).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/console.h"
#include "common/sound.h"
#include "synth/note_text.h"
#include "synth/song.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "notes_fuzz: %s\n", what);
  std::abort();
}

void CheckRead(bool read, const NoteSequence& notes, const std::string& error) {
  if (!read) {
    Check(!error.empty() && notes.empty(), "a refusal without a reason, or with notes");
    return;
  }
  Check(error.empty() && !notes.empty() && notes.size() <= SND_UNIT_NUM, "an accepted sequence of no or too many units");
  for (std::size_t i = 0; i + 1 < notes.size(); ++i) Check(notes[i] != 255, "NOTE_END before the end");
  NoteSequence again;
  std::string why;
  Check(ReadNoteText(NoteText(notes), again, why) && again == notes, "the text form does not read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* quiet = [] {
    std::FILE* null = std::fopen("/dev/null", "w");
    SetConsole(null);
    return null;
  }();
  (void)quiet;
  NoteSequence text_notes, byte_notes;
  std::string text_error, byte_error;
  const bool text = ReadNoteText(std::string_view(reinterpret_cast<const char*>(data), size), text_notes, text_error);
  const bool bytes = ReadNoteBytes({data, size}, byte_notes, byte_error);
  CheckRead(text, text_notes, text_error);
  CheckRead(bytes, byte_notes, byte_error);
  // The render is long: only of what the text form accepts, which is what people write.
  if (!text) return 0;
  ClearSoundBuffers();
  RenderNotes(text_notes);
  for (int n = 0; n < SND_TOTAL_SAMPLES; n += 7)
    Check(std::isfinite(MasterBuffer[n]) && std::fabs(MasterBuffer[n]) < 1.0f, "the mix is not finite or reaches full scale");
  return 0;
}
