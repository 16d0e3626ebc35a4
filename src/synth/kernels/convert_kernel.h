// The conversion of the mix to 16-bit PCM, in place, on one path.
#pragma once

#include <span>

#include "common/pcm_format.h"
#include "common/sound.h"
#include "synth/kernels/render_isa.h"

namespace {

// FloatToPcm16 over samples, in place: float n is read from byte 4n, sample n written to byte 2n,
// so the write never passes the read. In vectors, the lanes' floats are all loaded before their
// samples are stored, and those end no later than the next lanes' floats begin.
template <RenderIsa Isa>
void ConvertSamples(std::span<float> samples) {
  constexpr int W = Isa::kLanes;
  auto* bytes = reinterpret_cast<unsigned char*>(samples.data());
  const int count = static_cast<int>(samples.size());
  int n = 0;
  if constexpr (W > 2) {  // two-lane vectors are slower here than the loop
    for (; n + W <= count; n += W) {
      D<Isa> v = Widen<Isa>(Load<Isa>(reinterpret_cast<const float*>(bytes + 4 * n))) * 32767.0;
      v = v == v ? v : 0.0;  // NaN gives 0
      v = v < 32767.0 ? v : 32767.0;
      v = v > -32768.0 ? v : -32768.0;
      *reinterpret_cast<typename Lanes<W>::UnalignedSamples*>(bytes + 2 * n) =
          __builtin_convertvector(__builtin_convertvector(v, typename Lanes<W>::Mask), typename Lanes<W>::Samples);
    }
  }
  ConvertToPcm16InPlace(bytes, static_cast<std::size_t>(n), samples.size());
}

// MasterBuffer into the PCM block.
template <RenderIsa Isa>
void ConvertMaster() {
  ConvertSamples<Isa>(MasterBuffer);
}

}  // namespace
