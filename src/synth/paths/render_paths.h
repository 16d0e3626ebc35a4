// The ways the renderer can run: a portable one, vector ones for the instruction sets of x86-64
// and 64-bit ARM, and WebAssembly's SIMD in a web module that links it in. All give the same
// bits; the fastest one the processor supports is used unless one is chosen. Each path is a file
// of its own in this folder (render_path_<name>.cpp) and one line of src/synth/CMakeLists.txt.
#pragma once

#include <span>
#include <string_view>

struct RenderPathEntry;  // a path this build has, defined by the path's file
using RenderPath = const RenderPathEntry*;

const char* RenderPathName(RenderPath path);

// The paths this build has and this processor can run, slowest first.
std::span<const RenderPath> SupportedRenderPaths();
// The supported path of that name; null if the build lacks it or the processor cannot run it.
RenderPath FindRenderPath(std::string_view name);

// The path in use; by default the last of SupportedRenderPaths.
RenderPath ActiveRenderPath();
// Chooses one of SupportedRenderPaths, for tests and measurements.
void UseRenderPath(RenderPath path);

struct TrackScratch;
struct VoicePlan;

// What the programs run on the path in use.
struct RenderKernels {
  void (*track)(const VoicePlan& plan, float gain, TrackScratch& scratch);  // voice, effect chain and mix in one pass
  void (*convert)();  // MasterBuffer to the PCM block, in place
};
const RenderKernels& ActiveKernels();
