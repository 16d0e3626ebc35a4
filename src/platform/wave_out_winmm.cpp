// Wave-out on Windows: the system's own winmm, called as the operations are defined.
#include "platform/wave_out.h"

bool WaveOutOpen(WaveOutDevice* device, const WaveOutFormat* format, std::string& why) {
  *device = nullptr;
  const MMRESULT result = waveOutOpen(device, WAVE_MAPPER, format, 0, 0, CALLBACK_NULL);
  if (result == MMSYSERR_NOERROR) return true;
  *device = nullptr;
  char text[MAXERRORLENGTH] = "";
  waveOutGetErrorTextA(result, text, sizeof text);
  why = text;
  return false;
}

void WaveOutPrepare(WaveOutDevice device, WaveOutBlock* block) {
  waveOutPrepareHeader(device, block, sizeof(WAVEHDR));
}

void WaveOutWrite(WaveOutDevice device, WaveOutBlock* block) { waveOutWrite(device, block, sizeof(WAVEHDR)); }

void WaveOutClose(WaveOutDevice device) {
  // Reset returns the queued block at once; without it the device would go on reading it.
  waveOutReset(device);
  waveOutClose(device);
}

WaveOutProgress WaveOutPosition(WaveOutDevice device, const WaveOutBlock* block) {
  if (!device) return {0, true};
  MMTIME time{};
  time.wType = TIME_BYTES;
  waveOutGetPosition(device, &time, sizeof time);
  // The system sets WHDR_DONE from its own thread once the block has played.
  const DWORD flags = *static_cast<const volatile DWORD*>(&block->dwFlags);
  return {time.wType == TIME_BYTES ? time.u.cb : 0, (flags & WHDR_DONE) != 0};
}
