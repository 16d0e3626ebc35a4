// wave: renders the built-in tune, plays it, and waits in a prompt until the user presses OK.
// With no arguments that is all it does; --notes plays another tune; --help and --version answer
// and play nothing.
#include <cstdio>

#include "app/reset_sound.h"
#include "audio/pcm.h"
#include "audio/playback.h"
#include "common/command_line.h"
#include "common/device_state.h"
#include "common/prompt_text.h"
#include "common/shown_name.h"
#include "common/standard_streams.h"
#include "platform/prompt.h"
#include "platform/wave_out.h"
#include "synth/note_file.h"
#include "synth/song.h"

namespace {

constexpr const char* kUsage =
    "usage: wave [OPTION]...\n"
    "Plays Wave's built-in tune, which it synthesises itself, while a prompt waits for OK:\n"
    "a dialog on a desktop, else the terminal, else a line on standard input.\n"
    "\n"
    "  --notes FILE  play the note sequence in FILE instead: its bytes, or for a name\n"
    "             ending in .txt, or '-' (standard input), the text form\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Exit status: 0 once OK is given or the tune has played, 2 for a usage error or a note\n"
    "sequence that cannot be read.\n";

PromptProgress Progress() {
  const WaveOutProgress p = WaveOutPosition(SoundDevice);
  return {SoundDevice != nullptr, static_cast<double>(p.played_bytes) / SND_PCM_BYTES_PER_SECOND, SND_PCM_SECONDS,
          p.finished};
}

}  // namespace

int main(int argc, char** argv) {
  if (IsDialogProcess()) return RunDialogProcess();  // the prompt's dialog, drawn by a process of its own
  OpenStandardStreams();  // nothing to say if it fails: the run goes on with what it has
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(argc, argv, line, error)) return UsageError("wave", error, kUsage);
  if (!line.operands.empty()) return UsageError("wave", "unexpected operand " + Shown(line.operands[0]), kUsage);
  if (line.help) return PrintAnswer("wave", kUsage);
  if (line.version) return PrintAnswer("wave", VersionText("wave"));
  NoteSequence notes;
  if (line.notes && !LoadNoteFile(*line.notes, notes, error)) {
    std::fprintf(stderr, "wave: %s\n", error.c_str());
    return 2;  // nothing played: the input was bad
  }
  IgnoreClosedPipes();  // a reader of the console lines that goes away ends no sound
  PreparePrompt();      // the locale, environment and signals settled before any thread starts
  ResetSound();
  ReachOutput();  // the sound server answers while the tune renders
  if (line.notes)
    RenderNotes(notes);
  else
    RenderSong();
  PlayMaster();
  ShowPrompt(kPromptText, kPromptAscii, kPromptCaption, Progress);
  ResetSound();
  return 0;
}
