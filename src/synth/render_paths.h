// The ways the renderer can run: a portable one, and vector ones for the instruction sets of x86-64.
// All give the same bits; the fastest one the processor supports is used unless one is chosen.
#pragma once

#include <span>

#include "synth/voice_plan.h"

enum class RenderPath { Portable, Sse2, Avx2, Avx512 };

const char* RenderPathName(RenderPath path);

// The paths this build has and this processor can run, slowest first.
std::span<const RenderPath> SupportedRenderPaths();

// The path in use; by default the last of SupportedRenderPaths.
RenderPath ActiveRenderPath();
// Chooses a path, for tests and measurements; false (and no change) if it is not supported.
bool UseRenderPath(RenderPath path);

// One path's implementation of the stages.
struct RenderKernels {
  void (*track)(const VoicePlan& plan, float gain);  // voice, effect chain and mix in one pass
  void (*voice)(const VoicePlan& plan);
  void (*echo)(int delay, float g);
  void (*mix)(float gain);
  void (*convert)();  // MasterBuffer to the PCM block, in place
  // The path's vector sine on count values (a multiple of 8), for measuring its accuracy.
  void (*sine)(const double* in, double* out, int count);
};
const RenderKernels& ActiveKernels();
