#include "synth/paths/render_paths.h"

#include <algorithm>
#include <iterator>

#include "synth/paths/render_path.h"

// Every path this build has, in the order src/synth/CMakeLists.txt lists them. A path kept in an
// object library of its own (WebAssembly's SIMD) is referred to weakly: a module that does not link
// it leaves it null, and still loads where its instructions are missing.
#define WAVE_RENDER_PATH_ENTRY(id) extern const RenderPathEntry wave_render_path_##id;
#define WAVE_OPTIONAL_RENDER_PATH_ENTRY(id) [[gnu::weak]] extern const RenderPathEntry wave_render_path_##id;
#include "render_path_list.h"
#undef WAVE_RENDER_PATH_ENTRY
#undef WAVE_OPTIONAL_RENDER_PATH_ENTRY

namespace {

#define WAVE_RENDER_PATH_ENTRY(id) &wave_render_path_##id,
#define WAVE_OPTIONAL_RENDER_PATH_ENTRY(id) &wave_render_path_##id,
const RenderPath kBuilt[] = {
#include "render_path_list.h"
};
#undef WAVE_RENDER_PATH_ENTRY
#undef WAVE_OPTIONAL_RENDER_PATH_ENTRY

struct PathList {
  RenderPath paths[std::size(kBuilt)];
  std::size_t count = 0;
};

const PathList& Supported() {
  static const PathList list = [] {
    PathList l;
    for (RenderPath p : kBuilt)
      if (p && p->supported()) l.paths[l.count++] = p;
    return l;
  }();
  return list;
}

RenderPath active = nullptr;

}  // namespace

const char* RenderPathName(RenderPath path) { return path->name; }

std::span<const RenderPath> SupportedRenderPaths() { return {Supported().paths, Supported().count}; }

RenderPath FindRenderPath(std::string_view name) {
  const auto paths = SupportedRenderPaths();
  const auto found = std::find_if(paths.begin(), paths.end(), [&](RenderPath p) { return name == p->name; });
  return found == paths.end() ? nullptr : *found;
}

RenderPath ActiveRenderPath() {
  if (!active) active = SupportedRenderPaths().back();
  return active;
}

void UseRenderPath(RenderPath path) { active = path; }

const RenderKernels& ActiveKernels() { return ActiveRenderPath()->kernels; }
