// Each render path's kernels, one table per path this build has.
#pragma once

#include "synth/path_stages.h"
#include "synth/render_paths.h"

struct RenderPathTable {
  RenderKernels kernels;
  PathStages stages;
};

extern const RenderPathTable kPortablePath;
#if WAVE_X86_PATHS
extern const RenderPathTable kSse2Path;
extern const RenderPathTable kAvx2Path;
extern const RenderPathTable kAvx512Path;
#endif
#ifdef __EMSCRIPTEN__
extern const RenderPathTable kWasmSimdPath;
#endif
#if WAVE_ARM64_PATHS
extern const RenderPathTable kNeonPath;
#endif
