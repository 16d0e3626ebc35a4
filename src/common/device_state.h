// The process-wide state of the output device, in this program's own terms: the device handle,
// the format it was opened for and the one block queued on it. Which system plays the block is
// the platform's business; its types stay inside its backend.
#pragma once

#include <cstdint>

constexpr std::uint16_t SND_FORMAT_PCM = 1;  // linear PCM, signed little-endian

struct WaveOutStream;  // an open device, defined by the backend
using WaveOutDevice = WaveOutStream*;

struct WaveOutFormat {
  std::uint16_t encoding;  // SND_FORMAT_PCM
  std::uint16_t channels;
  std::uint32_t sample_rate;       // frames per second
  std::uint32_t bytes_per_second;  // sample_rate * frame_bytes
  std::uint16_t frame_bytes;       // one sample of every channel
  std::uint16_t sample_bits;
};

// The queued block: where its PCM bytes are and how many.
struct WaveOutHeader {
  const unsigned char* data;
  std::uint32_t bytes;
};

// SoundDevice is the open output, null when none is: PlayMaster opens it, ResetSound closes it.
// From the moment the block is queued, the device reads WaveHeader and the PCM block on its own
// until it is closed, so neither may be a temporary.
extern WaveOutDevice SoundDevice;
extern WaveOutFormat WaveFormat;
extern WaveOutHeader WaveHeader;
