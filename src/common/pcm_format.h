// The PCM block's format, the one description of it that the player, both sound-file writers and
// the web page use: the mix as signed 16-bit little-endian mono samples at SND_SAMPLE_RATE, one
// per sample of the track. And the rule that turns a float of the mix into a sample.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>


static_assert(std::endian::native == std::endian::little,
              "the PCM block is little-endian; a big-endian host needs a byte swap in its conversion");

#include "common/sound.h"

constexpr int SND_PCM_CHANNELS = 1;
constexpr int SND_PCM_SAMPLE_BYTES = 2;  // signed, little-endian
constexpr int SND_PCM_FRAME_BYTES = SND_PCM_CHANNELS * SND_PCM_SAMPLE_BYTES;  // one sample of every channel
constexpr int SND_PCM_BYTES_PER_SECOND = SND_SAMPLE_RATE * SND_PCM_FRAME_BYTES;
// The whole block: 15,876,000 bytes, 180 s.
constexpr int SND_PCM_BYTES = SND_TOTAL_SAMPLES * SND_PCM_FRAME_BYTES;
constexpr double SND_PCM_SECONDS = double{SND_PCM_BYTES} / SND_PCM_BYTES_PER_SECOND;

// Times 32767 in double, truncated toward zero, saturated to the 16-bit range (NaN gives 0).
// Saturating keeps an overload a clipped peak instead of a full-scale click.
inline std::int16_t FloatToPcm16(float sample) {
  const double v = double{sample} * 32767.0;
  if (std::isnan(v)) return 0;
  if (v >= 32767.0) return 32767;
  if (v <= -32768.0) return -32768;
  return static_cast<std::int16_t>(v);  // truncates toward zero
}

// Floats from..to of a block converted in place: float n read from byte 4n, sample n written to byte
// 2n, in ascending order, so that no float is overwritten before it is read. Copied by bytes: the
// samples take the floats' storage.
inline void ConvertToPcm16InPlace(unsigned char* block, std::size_t from, std::size_t to) {
  const unsigned char* in = block + 4 * from;
  unsigned char* out = block + 2 * from;
  for (std::size_t n = from; n < to; ++n, in += 4, out += 2) {
    float f;
    std::memcpy(&f, in, sizeof f);
    const std::int16_t s = FloatToPcm16(f);
    std::memcpy(out, &s, sizeof s);
  }
}
