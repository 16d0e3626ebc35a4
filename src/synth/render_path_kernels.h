// The kernels of each render path this build has.
#pragma once

#include "synth/render_paths.h"

extern const RenderKernels kPortableKernels;
#if WAVE_X86_PATHS
extern const RenderKernels kSse2Kernels;
extern const RenderKernels kAvx2Kernels;
extern const RenderKernels kAvx512Kernels;
#endif
