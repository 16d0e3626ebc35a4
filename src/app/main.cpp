// wave: renders the built-in tune, plays it, and waits in a prompt until the user presses OK.
#include "app/reset_sound.h"
#include "audio/pcm.h"
#include "audio/playback.h"
#include "common/device_state.h"
#include "common/standard_streams.h"
#include "platform/prompt.h"
#include "platform/wave_out.h"
#include "synth/song.h"

namespace {

// "Playing now: press OK to quit", and the same romanised for a terminal that cannot show it.
constexpr const char* kPromptText = "ぷれいなう : OKを押すと終了します";
constexpr const char* kPromptAscii = "pureinau : OK wo osu to shuuryou shimasu";
constexpr const char* kPromptCaption = "Wave";

PromptProgress Progress() {
  const WaveOutProgress p = WaveOutPosition(SoundDevice);
  const double bytes_per_second = SND_SAMPLE_RATE * SND_PCM_SAMPLE_BYTES;
  return {SoundDevice != nullptr, p.played_bytes / bytes_per_second, SND_PCM_BYTES / bytes_per_second,
          p.finished};
}

}  // namespace

int main() {
  OpenStandardStreams();  // nothing to say if it fails: the run goes on with what it has
  EndPromptOnSignals();   // before the sound system starts its threads
  ResetSound();
  ReachOutput();  // the sound server answers while the tune renders
  RenderSong();
  PlayMaster();
  ShowPrompt(kPromptText, kPromptAscii, kPromptCaption, Progress);
  ResetSound();
  return 0;
}
