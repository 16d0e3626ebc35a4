#include "synth/render.h"

#include "common/console.h"
#include "common/sound.h"
#include "synth/kernels/filter_steps.h"
#include "synth/kernels/track_scratch.h"
#include "synth/kernels/voice_plan.h"
#include "synth/paths/render_paths.h"

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

void MixTrack(float gain) {
  for (int n = 0; n < SND_TOTAL_SAMPLES; ++n) MasterBuffer[n] = AddScaled(MasterBuffer[n], gain, TrackBuffer[n]);
}
