// The ways the renderer can run: a portable one, vector ones for the instruction sets of x86-64
// and 64-bit ARM, and WebAssembly's SIMD in a web build that links it in. All give the same bits;
// the fastest one the processor supports is used unless one is chosen.
#pragma once

#include <span>

struct TrackScratch;
struct VoicePlan;

enum class RenderPath { Portable, Sse2, Avx2, Avx512, Neon, WasmSimd };

const char* RenderPathName(RenderPath path);

// The paths this build has and this processor can run, slowest first.
std::span<const RenderPath> SupportedRenderPaths();

// The path in use; by default the last of SupportedRenderPaths.
RenderPath ActiveRenderPath();
// Chooses a path, for tests and measurements; false (and no change) if it is not supported.
bool UseRenderPath(RenderPath path);

// What the programs run on the path in use.
struct RenderKernels {
  void (*track)(const VoicePlan& plan, float gain, TrackScratch& scratch);  // voice, effect chain and mix in one pass
  void (*convert)();  // MasterBuffer to the PCM block, in place
};
const RenderKernels& ActiveKernels();
