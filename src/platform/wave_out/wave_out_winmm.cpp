// Wave-out on Windows: the system's own winmm. The Windows records live in the open device, so
// nothing outside this file sees a Windows type.
#include "platform/windows_system.h"  // first: mmsystem.h needs it

#include <mmsystem.h>

#include "platform/wave_out/wave_out_backend.h"

namespace {

struct WinmmStream {
  HWAVEOUT handle = nullptr;
  WAVEFORMATEX format{};
  WAVEHDR header{};  // in use by the system from the write until the close
};

WinmmStream& Of(void* state) { return *static_cast<WinmmStream*>(state); }

void* Open(const WaveOutFormat& format, WaveOutAttempt& attempt) {
  auto* stream = new WinmmStream;
  WAVEFORMATEX& f = stream->format;
  f.wFormatTag = format.encoding;  // SND_FORMAT_PCM is WAVE_FORMAT_PCM
  f.nChannels = format.channels;
  f.nSamplesPerSec = format.sample_rate;
  f.nAvgBytesPerSec = format.bytes_per_second;
  f.nBlockAlign = format.frame_bytes;
  f.wBitsPerSample = format.sample_bits;
  f.cbSize = 0;
  const MMRESULT result = waveOutOpen(&stream->handle, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL);
  if (result == MMSYSERR_NOERROR) return stream;
  delete stream;
  char text[MAXERRORLENGTH] = "";
  waveOutGetErrorTextA(result, text, sizeof text);
  attempt.why = text;
  return nullptr;
}

void Prepare(void* state, const WaveOutHeader& header) {
  WinmmStream& s = Of(state);
  WAVEHDR& h = s.header;
  h = {};
  // winmm's record has no const, but the system only reads an output block.
  h.lpData = const_cast<LPSTR>(reinterpret_cast<const char*>(header.data));
  h.dwBufferLength = header.bytes;
  h.dwLoops = 1;
  waveOutPrepareHeader(s.handle, &h, sizeof h);
}

void Write(void* state) { waveOutWrite(Of(state).handle, &Of(state).header, sizeof(WAVEHDR)); }

void Close(void* state) {
  WinmmStream& s = Of(state);
  // Reset returns the queued block at once; without it the device would go on reading it.
  waveOutReset(s.handle);
  waveOutUnprepareHeader(s.handle, &s.header, sizeof s.header);
  waveOutClose(s.handle);
  delete &s;
}

WaveOutProgress Position(void* state) {
  WinmmStream& s = Of(state);
  MMTIME time{};
  time.wType = TIME_BYTES;
  waveOutGetPosition(s.handle, &time, sizeof time);
  // The system sets WHDR_DONE from its own thread once the block has played.
  const DWORD flags = *static_cast<const volatile DWORD*>(&s.header.dwFlags);
  return {time.wType == TIME_BYTES ? time.u.cb : 0, (flags & WHDR_DONE) != 0};
}

}  // namespace

const WaveOutBackend kWinmmWaveOut = {"winmm", nullptr, Open, Prepare, Write, Close, Position};
