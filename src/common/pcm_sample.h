// One sample of the PCM block, and the rule that turns a float of the mix into it.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "the PCM block is little-endian; a big-endian host needs a byte swap in its conversion");

// Bytes of one sample in the block (signed, little-endian).
constexpr int SND_PCM_SAMPLE_BYTES = 2;

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
