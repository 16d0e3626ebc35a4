#include "synth/render.h"

#include "common/console.h"
#include "common/sound.h"
#include "synth/effects.h"
#include "synth/render_paths.h"
#include "synth/track_chain.h"
#include "synth/voice_plan.h"

namespace {
VoicePlan plan;  // static: nothing in the render path allocates
}

void RenderVoice(std::span<const std::uint8_t> notes) {
  PlanVoice(notes, plan);
  ActiveKernels().voice(plan);
}

void ApplyTrackEffects() {
  ApplyEcho(SND_ECHO1_DELAY, SND_ECHO1_GAIN);
  ApplyEcho(SND_ECHO2_DELAY, SND_ECHO2_GAIN);
  ApplyLowPass(SND_LOWPASS);
  ApplyEmphasis(SND_EMPHASIS);
}

void MixTrack(float gain) { ActiveKernels().mix(gain); }

void RenderTrack(int channel, std::span<const std::uint8_t> notes, float gain) {
  if (channel > SND_MAX_CHANNEL) return;
  ConsolePrint("Render Track ch[%d]\n", channel);
  // Voice, effect chain and mix as one pass; the same bits as RenderVoice, ApplyTrackEffects and
  // MixTrack one after the other.
  PrepareSoundBuffers();
  PlanVoice(notes, plan);
  ActiveKernels().track(plan, gain);
}
