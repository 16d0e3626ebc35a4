#include "audio/pcm.h"

#include "synth/paths/render_paths.h"

void ConvertToPcm16() { ActiveKernels().convert(); }

std::span<const unsigned char> PcmBlock() { return {reinterpret_cast<const unsigned char*>(MasterBuffer), SND_PCM_BYTES}; }
