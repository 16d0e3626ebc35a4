// wave: renders the built-in tune, plays it, and waits in a prompt until the user presses OK.
#include "app/reset_sound.h"
#include "audio/pcm.h"
#include "audio/playback.h"
#include "common/device_state.h"
#include "common/prompt_text.h"
#include "common/standard_streams.h"
#include "platform/prompt.h"
#include "platform/wave_out.h"
#include "synth/song.h"

namespace {

PromptProgress Progress() {
  const WaveOutProgress p = WaveOutPosition(SoundDevice);
  return {SoundDevice != nullptr, static_cast<double>(p.played_bytes) / SND_PCM_BYTES_PER_SECOND, SND_PCM_SECONDS,
          p.finished};
}

}  // namespace

int main() {
  if (IsDialogProcess()) return RunDialogProcess();  // the prompt's dialog, drawn by a process of its own
  OpenStandardStreams();  // nothing to say if it fails: the run goes on with what it has
  IgnoreClosedPipes();    // a reader of the console lines that goes away ends no sound
  PreparePrompt();        // the locale, environment and signals settled before any thread starts
  ResetSound();
  ReachOutput();  // the sound server answers while the tune renders
  RenderSong();
  PlayMaster();
  ShowPrompt(kPromptText, kPromptAscii, kPromptCaption, Progress);
  ResetSound();
  return 0;
}
