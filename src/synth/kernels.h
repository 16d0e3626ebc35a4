// Everything a render path compiles for its instruction set, and its table. Each render path's
// translation unit includes this once, with its own Isa (see render_isa.h).
#pragma once

#include "synth/echo_kernel.h"
#include "synth/render_isa.h"
#include "synth/render_path_tables.h"
#include "synth/stage_kernels.h"
#include "synth/track_kernel.h"

namespace {

template <RenderIsa Isa>
constexpr RenderPathTable PathTableFor() {
  return {{FusedTrackStage<Isa>, ConvertStage<Isa>},
          {RenderVoiceStage<Isa>, EchoStage<Isa>, MixStage<Isa>, SineStage<Isa>}};
}

}  // namespace
