#include "reference_render.h"

#include <cmath>

namespace {

constexpr int kRate = 44100;
constexpr int kUnitLen = kRate / 10;
constexpr int kUnits = 1800;
constexpr int kTotal = kUnitLen * kUnits;

float F(double x) { return static_cast<float>(x); }

int Transposition(int unit) {
  if (unit >= 0 && unit <= 256) return 0;
  if (unit >= 257 && unit <= 512) return -5;
  if (unit >= 513 && unit <= 768) return 7;
  return 0;
}

}  // namespace

ReferenceTrack MakeReferenceTrack() {
  return {std::vector<float>(kTotal, 0.0f), std::vector<float>(kTotal, 0.0f)};
}

float ReferenceNoteToIncrement(int n) {
  float x = 0.00017573696f;
  for (int k = 0; k < n; ++k) x = F(static_cast<double>(x) * static_cast<double>(1.0594631433486938f));
  return x;
}

void ReferenceVoice(std::span<const std::uint8_t> notes, std::vector<float>& track) {
  track.assign(kTotal, 0.0f);
  float phase = 0, inc = 0, env = 0;
  for (int i = 0; i < kUnits; ++i) {
    const int b = i < static_cast<int>(notes.size()) ? notes[i] : 255;
    if (b == 255) break;
    if (b == 127) {
      inc = 0;
      phase = 0;
      continue;
    }
    if (b != 0) {
      inc = ReferenceNoteToIncrement(b + Transposition(i) - 3);
      phase = 0;
      env = 1;
    }
    const float m = F(i / 64 + 1);
    const bool narrow = (i % 64) < 32;
    for (int j = 0; j < kUnitLen; ++j) {
      phase = F(static_cast<double>(phase) + static_cast<double>(inc));
      const double sum = static_cast<double>(phase) + 0.5;
      const int whole = static_cast<int>(sum);  // truncates toward zero
      phase = F(static_cast<double>(phase) - whole);
      float w;
      if (narrow) {
        w = phase;
      } else {
        w = F(static_cast<double>(phase) * static_cast<double>(3.1415927410125732) * 2);
      }
      const double a = std::sin(static_cast<double>(w) * 0.3);
      float t = F(static_cast<double>(F(std::sin(static_cast<double>(w)))) + a);
      t = F(static_cast<double>(t) * static_cast<double>(m));
      const float u = F(std::sin(static_cast<double>(t)));
      track[i * kUnitLen + j] = F(static_cast<double>(u) * static_cast<double>(env));
      env = F(static_cast<double>(env) * static_cast<double>(0.9998999834060669));
    }
  }
}

void ReferenceEcho(std::vector<float>& x, int delay, float g) {
  const int size = static_cast<int>(x.size());
  if (delay < 0 || delay >= size) return;
  for (int n = delay; n < size; ++n)
    x[n] = F(static_cast<double>(x[n]) + static_cast<double>(g) * static_cast<double>(x[n - delay]));
}

void ReferenceLowPass(std::vector<float>& x, float a) {
  for (std::size_t n = 1; n < x.size(); ++n)
    x[n] = F(static_cast<double>(x[n]) +
             (static_cast<double>(x[n - 1]) - static_cast<double>(x[n])) * static_cast<double>(a));
}

void ReferenceEmphasis(std::vector<float>& x, float a) {
  for (std::size_t n = 1; n < x.size(); ++n)
    x[n] = F(static_cast<double>(x[n]) - static_cast<double>(a) * static_cast<double>(x[n - 1]));
}

void ReferenceRenderTrack(std::span<const std::uint8_t> notes, float gain, ReferenceTrack& out) {
  ReferenceVoice(notes, out.track);
  ReferenceEcho(out.track, 159201, 0.7f);
  ReferenceEcho(out.track, 115101, 0.3f);
  ReferenceLowPass(out.track, 0.1f);
  ReferenceEmphasis(out.track, 0.5f);
  for (int n = 0; n < kTotal; ++n)
    out.master[n] = F(static_cast<double>(out.master[n]) +
                      static_cast<double>(gain) * static_cast<double>(out.track[n]));
}
