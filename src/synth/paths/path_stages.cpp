#include "synth/paths/path_stages.h"

#include "synth/kernels/voice_plan.h"

// The stages of every path this build has, beside each path's entry (render_paths.cpp).
#define WAVE_RENDER_PATH_ENTRY(id)                          \
  extern const RenderPathEntry wave_render_path_##id;       \
  extern const PathStages wave_render_stages_##id;
#define WAVE_OPTIONAL_RENDER_PATH_ENTRY(id)                               \
  [[gnu::weak]] extern const RenderPathEntry wave_render_path_##id;       \
  [[gnu::weak]] extern const PathStages wave_render_stages_##id;
#include "render_path_list.h"
#undef WAVE_RENDER_PATH_ENTRY
#undef WAVE_OPTIONAL_RENDER_PATH_ENTRY

const PathStages& StagesOf(RenderPath path) {
#define WAVE_RENDER_PATH_ENTRY(id) \
  if (path == &wave_render_path_##id) return wave_render_stages_##id;
#define WAVE_OPTIONAL_RENDER_PATH_ENTRY(id) WAVE_RENDER_PATH_ENTRY(id)
#include "render_path_list.h"
#undef WAVE_RENDER_PATH_ENTRY
#undef WAVE_OPTIONAL_RENDER_PATH_ENTRY
  __builtin_trap();  // not a path of this build
}

void RenderVoice(std::span<const std::uint8_t> notes) {
  static VoicePlan plan;  // static: the plan is large
  PlanVoice(notes, plan);
  StagesOf(ActiveRenderPath()).voice(plan);
}
