#include "synth/render_paths.h"

#include <iterator>

#include "synth/path_stages.h"
#include "synth/render_path_tables.h"

#ifdef __EMSCRIPTEN__
// A web module has the SIMD path if it links it in (wave_synth_wasm_simd); a module that does not
// leaves this weak reference null, and still loads where WebAssembly has no SIMD.
[[gnu::weak]] extern const RenderPathTable kWasmSimdPath;
#endif

namespace {

struct PathEntry {
  RenderPath path;
  const char* name;
  const RenderPathTable* table;
  bool (*supported)();
};

bool Always() { return true; }
#if WAVE_X86_PATHS
bool HasAvx2() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }
bool HasAvx512() { return __builtin_cpu_supports("avx512f"); }
#endif
#ifdef __EMSCRIPTEN__
bool HasWasmSimd() { return &kWasmSimdPath != nullptr; }
#endif

const PathEntry kPaths[] = {
    {RenderPath::Portable, "portable", &kPortablePath, Always},
#if WAVE_X86_PATHS
    {RenderPath::Sse2, "sse2", &kSse2Path, Always},
    {RenderPath::Avx2, "avx2", &kAvx2Path, HasAvx2},
    {RenderPath::Avx512, "avx512", &kAvx512Path, HasAvx512},
#endif
#ifdef __EMSCRIPTEN__
    {RenderPath::WasmSimd, "wasm-simd", &kWasmSimdPath, HasWasmSimd},
#endif
#if WAVE_ARM64_PATHS
    {RenderPath::Neon, "neon", &kNeonPath, Always},
#endif
};

const PathEntry& Entry(RenderPath path) {
  for (const auto& e : kPaths)
    if (e.path == path) return e;
  return kPaths[0];
}

struct PathList {
  RenderPath paths[std::size(kPaths)];
  std::size_t count = 0;
};

const PathList& Supported() {
  static const PathList list = [] {
    PathList l;
    for (const auto& e : kPaths)
      if (e.supported()) l.paths[l.count++] = e.path;
    return l;
  }();
  return list;
}

const PathEntry* active = nullptr;

}  // namespace

const char* RenderPathName(RenderPath path) { return Entry(path).name; }

std::span<const RenderPath> SupportedRenderPaths() { return {Supported().paths, Supported().count}; }

RenderPath ActiveRenderPath() {
  if (!active) active = &Entry(SupportedRenderPaths().back());
  return active->path;
}

bool UseRenderPath(RenderPath path) {
  for (RenderPath p : SupportedRenderPaths()) {
    if (p == path) {
      active = &Entry(path);
      return true;
    }
  }
  return false;
}

const RenderKernels& ActiveKernels() {
  ActiveRenderPath();
  return active->table->kernels;
}

const PathStages& StagesOf(RenderPath path) { return Entry(path).table->stages; }
