#include <bit>
#include <cmath>
#include <cstring>

#include "audio/playback.h"
#include "synth/render_paths.h"

static_assert(std::endian::native == std::endian::little,
              "the PCM block is little-endian; a big-endian host needs a byte swap in ConvertToPcm16");

std::int16_t FloatToPcm16(float sample) {
  const double v = double{sample} * 32767.0;
  if (std::isnan(v)) return 0;
  if (v >= 32767.0) return 32767;
  if (v <= -32768.0) return -32768;
  return static_cast<std::int16_t>(v);  // truncates toward zero
}

void ConvertToPcm16() { ActiveKernels().convert(); }

void ConvertToPcm16ByLoop() {
  // Sample n goes to byte 2n and float n is read from byte 4n: the write never passes the read,
  // so each float is read before anything overwrites it. Bytes, not typed pointers, because the
  // two views share the memory.
  auto* bytes = reinterpret_cast<unsigned char*>(MasterBuffer);
  for (std::size_t n = 0; n < SND_TOTAL_SAMPLES; ++n) {
    float f;
    std::memcpy(&f, bytes + 4 * n, sizeof f);
    const std::int16_t s = FloatToPcm16(f);
    std::memcpy(bytes + 2 * n, &s, sizeof s);
  }
}

std::span<const std::int16_t> PcmBlock() {
  return {reinterpret_cast<const std::int16_t*>(MasterBuffer), SND_TOTAL_SAMPLES};
}
