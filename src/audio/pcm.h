// The finished mix as 16-bit PCM, converted in place.
#pragma once

#include <span>

#include "common/pcm_format.h"
#include "common/sound.h"

// Converts MasterBuffer in place into the PCM block, sample n from float n by FloatToPcm16, on
// the render path in use.
void ConvertToPcm16();

// The PCM block's bytes; valid after ConvertToPcm16. The block lives where floats were: read its
// samples by copying bytes (memcpy), never through a pointer of another type.
std::span<const unsigned char> PcmBlock();
