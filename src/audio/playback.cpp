// PlayMaster: the finished mix becomes PCM and goes to the default output in one block.
#include <cstdio>
#include <string>

#include "audio/playback.h"
#include "common/sound.h"

void PlayMaster() {
  ConvertToPcm16();

  WaveFormat = {};
  WaveFormat.wFormatTag = SND_FORMAT_PCM;
  WaveFormat.nChannels = 1;
  WaveFormat.nSamplesPerSec = SND_SAMPLE_RATE;
  WaveFormat.nAvgBytesPerSec = SND_SAMPLE_RATE * 2;
  WaveFormat.nBlockAlign = 2;
  WaveFormat.wBitsPerSample = 16;
  WaveFormat.cbSize = 0;

  std::string why;
  const bool open = WaveOutOpen(&SoundDevice, &WaveFormat, why);
  // The run goes on without sound; only standard error hears of it.
  if (!open) std::fprintf(stderr, "wave: no sound: cannot open the audio device: %s\n", why.c_str());

  WaveHeader = {};
  WaveHeader.lpData = reinterpret_cast<char*>(MasterBuffer);
  WaveHeader.dwBufferLength = (WaveFormat.wBitsPerSample / 8) * SND_TOTAL_SAMPLES;
  WaveHeader.dwLoops = 1;
  if (!open) return;
  WaveOutPrepare(SoundDevice, &WaveHeader);
  WaveOutWrite(SoundDevice, &WaveHeader);
}
