#include "synth/render.h"

#include "common/console.h"
#include "common/sound.h"
#include "synth/filter_steps.h"
#include "synth/path_stages.h"
#include "synth/render_paths.h"
#include "synth/track_scratch.h"
#include "synth/voice_plan.h"

namespace {
// Static: nothing in the render path allocates.
VoicePlan plan;
TrackScratch scratch;
}  // namespace

void RenderTrack(int channel, std::span<const std::uint8_t> notes, float gain) {
  if (channel > SND_MAX_CHANNEL) return;
  ConsolePrint("Render Track ch[%d]\n", channel);
  PrepareSoundBuffers();
  PlanVoice(notes, plan);
  ActiveKernels().track(plan, gain, scratch);
}

void RenderVoice(std::span<const std::uint8_t> notes) {
  PlanVoice(notes, plan);
  StagesOf(ActiveRenderPath()).voice(plan);
}

void MixTrack(float gain) {
  for (int n = 0; n < SND_TOTAL_SAMPLES; ++n) MasterBuffer[n] = MixStep(MasterBuffer[n], gain, TrackBuffer[n]);
}
