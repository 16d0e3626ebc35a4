// The voice's arithmetic for one sample, rounded exactly as the program defines it: double
// arithmetic, each float(...) a rounding to float. Every faster path must give these bits.
#pragma once

#include <cmath>

// Internal to each translation unit: the render paths compile these for different instruction
// sets, and no path may end up calling another's copy.
namespace {

constexpr double SND_PI_FLOAT = 3.1415927410125732;  // pi as a float, used at double precision
constexpr float SND_ENV_DECAY_F = 0.9998999834060669f;  // 0.9999 as a float: the envelope per sample

// Advances the phase by one sample and wraps it into [-0.5, 0.5).
inline float StepPhase(float phase, float inc) {
  phase = static_cast<float>(double{phase} + double{inc});
  // phase + 0.5 is never negative here, so truncation is a floor.
  const double p = phase;
  return static_cast<float>(p - std::trunc(p + 0.5));
}

// The argument of the sines: the phase itself (narrow mode), or times 2 pi (full mode).
inline float ShapeArgument(float phase, bool full) {
  return full ? static_cast<float>(double{phase} * SND_PI_FLOAT * 2) : phase;
}

// One sample of the voice: a sine of the shaped argument plus a sine of 0.3 times it, times the
// shaping depth m, folded through another sine, times the envelope.
inline float VoiceSample(float phase, bool full, float m, float env) {
  const float w = ShapeArgument(phase, full);
  const double a = std::sin(double{w} * 0.3);
  float t = static_cast<float>(double{static_cast<float>(std::sin(double{w}))} + a);
  t = static_cast<float>(double{t} * double{m});
  const float u = static_cast<float>(std::sin(double{t}));
  return static_cast<float>(double{u} * double{env});
}

}  // namespace
