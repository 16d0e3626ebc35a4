// What a render path's file includes: every kernel, for its file to compile for its instruction
// set, and WAVE_RENDER_PATH, which makes the path known by its name. The file is compiled twice
// (see wave_render_path in src/synth/CMakeLists.txt): for the programs, with the whole track in
// one pass and the conversion; and for the tests and the benchmark, with the stages one by one.
#pragma once

#include "synth/kernels/convert_kernel.h"
#include "synth/kernels/echo_kernel.h"
#include "synth/kernels/render_isa.h"
#include "synth/kernels/stage_kernels.h"
#include "synth/kernels/track_kernel.h"
#include "synth/paths/path_stages.h"
#include "synth/paths/render_paths.h"

struct RenderPathEntry {
  const char* name;
  bool (*supported)();  // whether this processor runs the path
  RenderKernels kernels;
};

// WAVE_RENDER_PATH(id, "name", Isa, supported): the path id (as CMake names it), shown as name,
// with the kernels compiled for Isa, run where supported() says so.
#ifdef WAVE_RENDER_STAGES
#define WAVE_RENDER_PATH(id, name, Isa, supported)                                                  \
  [[maybe_unused]] static bool (*const wave_render_supported_##id)() = supported;                   \
  extern const PathStages wave_render_stages_##id = {RenderVoiceStage<Isa>, EchoStage<Isa>, MixStage<Isa>, \
                                                     ConvertSamples<Isa>, SineStage<Isa>}
#else
#define WAVE_RENDER_PATH(id, name, Isa, supported) \
  extern const RenderPathEntry wave_render_path_##id = {name, supported, {FusedTrackStage<Isa>, ConvertMaster<Isa>}}
#endif
