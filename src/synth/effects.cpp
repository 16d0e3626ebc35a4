#include "synth/effects.h"

#include "common/sound.h"
#include "synth/kernels/filter_steps.h"

void ApplyEcho(int delay, float g) {
  if (delay < 0 || delay >= SND_TOTAL_SAMPLES) return;
  EchoSamples(TrackBuffer, delay, SND_TOTAL_SAMPLES, delay, g);
}

void ApplyLowPass(float a) {
  float* x = TrackBuffer;
  float previous = x[0];
  for (int n = 1; n < SND_TOTAL_SAMPLES; ++n) x[n] = previous = LowPassStep(x[n], previous, a);
}

void ApplyEmphasis(float a) {
  float* x = TrackBuffer;
  float previous = x[0];
  for (int n = 1; n < SND_TOTAL_SAMPLES; ++n) x[n] = previous = EmphasisStep(x[n], previous, a);
}
