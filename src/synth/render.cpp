#include "synth/render.h"

#include <algorithm>
#include <cmath>

#include "common/console.h"
#include "common/sound.h"
#include "synth/effects.h"
#include "synth/notes.h"

namespace {

constexpr double kPi = 3.1415927410125732;          // pi as a float, used at double precision
constexpr double kEnvDecay = 0.9998999834060669;    // 0.9999 as a float: the envelope per sample
constexpr int kShapeBlock = 64;                     // units per step of the shaping depth

// One unit of the voice: a waveshaped sine whose depth m grows every 64 units and whose mode
// switches every 32 between a narrow (phase as is) and a full (phase times 2 pi) argument.
void RenderUnit(int unit, float& phase, float inc, float& env) {
  const float m = static_cast<float>(unit / kShapeBlock + 1);
  const bool full = unit % kShapeBlock >= kShapeBlock / 2;
  float* out = TrackBuffer + unit * SND_UNIT_LEN;
  for (int j = 0; j < SND_UNIT_LEN; ++j) {
    phase = static_cast<float>(double{phase} + double{inc});
    // Wrap into [-0.5, 0.5); phase + 0.5 is never negative here, so truncation is a floor.
    const double p = phase;
    phase = static_cast<float>(p - std::trunc(p + 0.5));
    const float w = full ? static_cast<float>(double{phase} * kPi * 2) : phase;
    const double a = std::sin(double{w} * 0.3);
    float t = static_cast<float>(double{static_cast<float>(std::sin(double{w}))} + a);
    t = static_cast<float>(double{t} * double{m});
    const float u = static_cast<float>(std::sin(double{t}));
    out[j] = static_cast<float>(double{u} * double{env});
    env = static_cast<float>(double{env} * kEnvDecay);
  }
}

}  // namespace

void RenderVoice(std::span<const std::uint8_t> notes) {
  std::fill(std::begin(TrackBuffer), std::end(TrackBuffer), 0.0f);
  float phase = 0, inc = 0, env = 0;
  const int units = static_cast<int>(std::min<std::size_t>(notes.size(), SND_UNIT_NUM));
  for (int i = 0; i < units; ++i) {
    const std::uint8_t b = notes[i];
    if (b == NOTE_END) return;
    if (b == NOTE_OFF) {
      // The unit stays silent; the envelope keeps its value.
      inc = 0;
      phase = 0;
      continue;
    }
    if (b != NOTE_HOLD) {
      inc = NoteToIncrement(NoteNumber(b, i));
      phase = 0;
      env = 1;
    }
    RenderUnit(i, phase, inc, env);
  }
}

void ApplyTrackEffects() {
  ApplyEcho(159201, 0.7f);  // 3.61 s
  ApplyEcho(115101, 0.3f);  // 2.61 s
  ApplyLowPass(0.1f);
  ApplyEmphasis(0.5f);
}

void MixTrack(float gain) {
  for (int n = 0; n < SND_TOTAL_SAMPLES; ++n)
    MasterBuffer[n] = static_cast<float>(double{MasterBuffer[n]} + double{gain} * double{TrackBuffer[n]});
}

void RenderTrack(int channel, std::span<const std::uint8_t> notes, float gain) {
  if (channel > SND_MAX_CHANNEL) return;
  ConsolePrint("Render Track ch[%d]\n", channel);
  RenderVoice(notes);
  ApplyTrackEffects();
  MixTrack(gain);
}
