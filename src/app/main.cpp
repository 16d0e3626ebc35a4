// wave: renders the built-in tune, plays it, and waits in a prompt until the user presses OK.
#include "app/reset_sound.h"
#include "app/song.h"
#include "audio/playback.h"
#include "common/sound.h"
#include "platform/prompt.h"

namespace {

// "Playing now: press OK to quit"
constexpr const char* kPromptText = "ぷれいなう : OKを押すと終了します";
constexpr const char* kPromptCaption = "Wave";

PromptProgress Progress() {
  const WaveOutProgress p = WaveOutPosition(SoundDevice, &WaveHeader);
  const double bytes_per_second = SND_SAMPLE_RATE * 2;
  return {SoundDevice != nullptr, p.played_bytes / bytes_per_second, SND_PCM_BYTES / bytes_per_second,
          p.finished};
}

}  // namespace

int main() {
  ResetSound();
  RenderSong();
  PlayMaster();
  ShowPrompt(kPromptText, kPromptCaption, Progress);
  ResetSound();
  return 0;
}
