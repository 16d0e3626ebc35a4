// PlayMaster: the finished mix becomes PCM and goes to the default output in one block.
#include "audio/playback.h"

#include <cstdio>
#include <string>

#include "audio/pcm.h"
#include "common/device_state.h"
#include "platform/wave_out.h"

namespace {

void SetWaveFormat() {
  WaveFormat = {};
  WaveFormat.encoding = SND_FORMAT_PCM;
  WaveFormat.channels = SND_PCM_CHANNELS;
  WaveFormat.sample_rate = SND_SAMPLE_RATE;
  WaveFormat.frame_bytes = SND_PCM_FRAME_BYTES;
  WaveFormat.sample_bits = 8 * SND_PCM_SAMPLE_BYTES;
  WaveFormat.bytes_per_second = SND_PCM_BYTES_PER_SECOND;
}

}  // namespace

void ReachOutput() {
  SetWaveFormat();
  WaveOutReach(&WaveFormat);
}

void PlayMaster() {
  ConvertToPcm16();
  SetWaveFormat();

  std::string why;
  const bool open = WaveOutOpen(&SoundDevice, &WaveFormat, why);
  // The run goes on without sound; only standard error hears of it.
  if (!open) std::fprintf(stderr, "wave: no sound: cannot open the audio device: %s\n", why.c_str());
  if (open && !why.empty()) std::fprintf(stderr, "wave: %s\n", why.c_str());

  WaveHeader = {};
  WaveHeader.data = PcmBlock().data();
  WaveHeader.bytes = static_cast<std::uint32_t>(PcmBlock().size());
  if (!open) return;
  WaveOutPrepare(SoundDevice, &WaveHeader);
  WaveOutWrite(SoundDevice, &WaveHeader);
}
