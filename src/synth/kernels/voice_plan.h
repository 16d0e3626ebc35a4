// What the voice does in each unit, read once from a note sequence.
#pragma once

#include <cstdint>
#include <span>

#include "common/sound.h"

struct VoiceUnit {
  float inc;     // phase increment per sample; 0 while nothing sounds (before the first note, after NOTE_OFF)
  bool restart;  // a note starts here: phase back to 0, envelope back to 1
};

struct VoicePlan {
  int units;  // units that are read: up to NOTE_END, the end of the sequence or SND_UNIT_NUM
  VoiceUnit unit[SND_UNIT_NUM];
};

// Reads notes into plan. Reading stops at NOTE_END, after SND_UNIT_NUM units, or at the end of
// notes, which acts as NOTE_END.
void PlanVoice(std::span<const std::uint8_t> notes, VoicePlan& plan);

// Shaping depth and mode of a unit: the depth grows by one every 64 units, and the mode switches
// every 32 between narrow (the phase itself) and full (the phase times 2 pi).
inline float ShapeDepth(int unit) { return static_cast<float>(unit / 64 + 1); }
inline bool FullShape(int unit) { return unit % 64 >= 32; }
