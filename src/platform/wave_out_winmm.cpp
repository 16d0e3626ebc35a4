// Wave-out on Windows: the system's own winmm. The Windows records live in the open device, so
// nothing outside this file sees a Windows type.
#include "platform/windows_system.h"  // first: mmsystem.h needs it

#include <mmsystem.h>

#include "platform/wave_out.h"

struct WaveOutStream {
  HWAVEOUT handle = nullptr;
  WAVEFORMATEX format{};
  WAVEHDR header{};  // in use by the system from the write until the close
};

bool WaveOutOpen(WaveOutDevice* device, const WaveOutFormat* format, std::string& why) {
  *device = nullptr;
  auto* stream = new WaveOutStream;
  WAVEFORMATEX& f = stream->format;
  f.wFormatTag = format->encoding;  // SND_FORMAT_PCM is WAVE_FORMAT_PCM
  f.nChannels = format->channels;
  f.nSamplesPerSec = format->sample_rate;
  f.nAvgBytesPerSec = format->bytes_per_second;
  f.nBlockAlign = format->frame_bytes;
  f.wBitsPerSample = format->sample_bits;
  f.cbSize = 0;
  const MMRESULT result = waveOutOpen(&stream->handle, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL);
  if (result == MMSYSERR_NOERROR) {
    *device = stream;
    return true;
  }
  delete stream;
  char text[MAXERRORLENGTH] = "";
  waveOutGetErrorTextA(result, text, sizeof text);
  why = text;
  return false;
}

void WaveOutPrepare(WaveOutDevice device, const WaveOutBlock* block) {
  if (!device) return;
  WAVEHDR& h = device->header;
  h = {};
  // winmm's record has no const, but the system only reads an output block.
  h.lpData = const_cast<LPSTR>(reinterpret_cast<const char*>(block->data));
  h.dwBufferLength = block->bytes;
  h.dwLoops = 1;
  waveOutPrepareHeader(device->handle, &h, sizeof h);
}

void WaveOutWrite(WaveOutDevice device, const WaveOutBlock*) {
  if (device) waveOutWrite(device->handle, &device->header, sizeof device->header);
}

void WaveOutClose(WaveOutDevice device) {
  if (!device) return;
  // Reset returns the queued block at once; without it the device would go on reading it.
  waveOutReset(device->handle);
  waveOutUnprepareHeader(device->handle, &device->header, sizeof device->header);
  waveOutClose(device->handle);
  delete device;
}

WaveOutProgress WaveOutPosition(WaveOutDevice device) {
  if (!device) return {0, true};
  MMTIME time{};
  time.wType = TIME_BYTES;
  waveOutGetPosition(device->handle, &time, sizeof time);
  // The system sets WHDR_DONE from its own thread once the block has played.
  const DWORD flags = *static_cast<const volatile DWORD*>(&device->header.dwFlags);
  return {time.wType == TIME_BYTES ? time.u.cb : 0, (flags & WHDR_DONE) != 0};
}
