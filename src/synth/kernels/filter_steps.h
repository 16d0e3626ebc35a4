// One sample of each track effect and of the mix, as the whole chain rounds it: the expression in
// double, the result rounded to float.
#pragma once

// Internal to each translation unit: the render paths compile these for different instruction
// sets, and no path may end up calling another's copy.
namespace {

// float(x + g * y): an echo step (the sample plus g times the processed one a delay earlier) and
// a mix step (the master plus the gain times the track).
inline float AddScaled(float x, float g, float y) {
  return static_cast<float>(double{x} + double{g} * double{y});
}

// One-pole low-pass, in the form difference, times a, plus the input.
inline float LowPassStep(float x, float previous_out, float a) {
  return static_cast<float>(double{x} + (double{previous_out} - double{x}) * double{a});
}

// First-order recursive filter y = x - a * previous y.
inline float EmphasisStep(float x, float previous_out, float a) {
  return static_cast<float>(double{x} - double{a} * double{previous_out});
}

// The echo, sample by sample, over x[from, to): in ascending order, so each sample reads one a
// delay earlier that has already received its own echo. from must be at least delay.
inline void EchoSamples(float* x, int from, int to, int delay, float g) {
  for (int i = from; i < to; ++i) x[i] = AddScaled(x[i], g, x[i - delay]);
}

}  // namespace
