// The wave-out device: plays one block of PCM, queued once, to its end in the background.
//
// Four operations: open the default output for a format, prepare a block, queue it, close. The
// records carry the fields of the Windows wave-out interface. On Windows they are its own types
// and the backend calls winmm; elsewhere the backend runs on SDL2. Each backend is one file:
// wave_out_winmm.cpp, wave_out_sdl.cpp.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>

using WaveOutDevice = HWAVEOUT;
using WaveOutFormat = WAVEFORMATEX;
using WaveOutBlock = WAVEHDR;
#else
struct WaveOutStream;  // the backend's state for an open device
using WaveOutDevice = WaveOutStream*;

struct WaveOutFormat {
  std::uint16_t wFormatTag;  // 1: PCM
  std::uint16_t nChannels;
  std::uint32_t nSamplesPerSec;
  std::uint32_t nAvgBytesPerSec;
  std::uint16_t nBlockAlign;
  std::uint16_t wBitsPerSample;
  std::uint16_t cbSize;
};

struct WaveOutBlock {
  char* lpData;
  std::uint32_t dwBufferLength;  // bytes
  std::uint32_t dwBytesRecorded;
  std::uintptr_t dwUser;
  std::uint32_t dwFlags;
  std::uint32_t dwLoops;
  WaveOutBlock* lpNext;
  std::uintptr_t reserved;
};
#endif

constexpr std::uint16_t SND_FORMAT_PCM = 1;

// Opens the system's default output for format, with no completion notification, and stores
// its handle in device. On failure device is null and why says what the system said.
bool WaveOutOpen(WaveOutDevice* device, const WaveOutFormat* format, std::string& why);

// Makes block ready for output on device.
void WaveOutPrepare(WaveOutDevice device, WaveOutBlock* block);

// Queues the prepared block and returns at once; it plays to its end with no further calls.
// The block and its data must stay untouched until the device is closed.
void WaveOutWrite(WaveOutDevice device, WaveOutBlock* block);

// Stops playback and closes the device: once it returns, nothing reads the block any more.
void WaveOutClose(WaveOutDevice device);

// How far the queued block has played.
struct WaveOutProgress {
  std::uint32_t played_bytes;
  bool finished;  // the whole block has gone to the device
};
WaveOutProgress WaveOutPosition(WaveOutDevice device, const WaveOutBlock* block);
