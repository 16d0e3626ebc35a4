#include "synth/effects.h"

#include "common/sound.h"

void ApplyEcho(int delay, float g) {
  // A negative delay would read and write before the buffer.
  if (delay < 0 || delay >= SND_TOTAL_SAMPLES) return;
  float* x = TrackBuffer;
  for (int n = delay; n < SND_TOTAL_SAMPLES; ++n)
    x[n] = static_cast<float>(double{x[n]} + double{g} * double{x[n - delay]});
}

void ApplyLowPass(float a) {
  float* x = TrackBuffer;
  for (int n = 1; n < SND_TOTAL_SAMPLES; ++n)
    x[n] = static_cast<float>(double{x[n]} + (double{x[n - 1]} - double{x[n]}) * double{a});
}

void ApplyEmphasis(float a) {
  float* x = TrackBuffer;
  for (int n = 1; n < SND_TOTAL_SAMPLES; ++n)
    x[n] = static_cast<float>(double{x[n]} - double{a} * double{x[n - 1]});
}
