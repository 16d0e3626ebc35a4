// Turning the finished mix into 16-bit PCM, and playing it.
#pragma once

#include <cstdint>
#include <span>

#include "common/sound.h"

// The PCM block: SND_TOTAL_SAMPLES signed 16-bit little-endian mono samples at SND_SAMPLE_RATE,
// stored over the first half of MasterBuffer once ConvertToPcm16 has run.
constexpr int SND_PCM_BYTES = SND_TOTAL_SAMPLES * 2;

// One sample: times 32767 in double, truncated toward zero, saturated to the 16-bit range
// (NaN gives 0). Saturating keeps an overload a clipped peak instead of a full-scale click.
std::int16_t FloatToPcm16(float sample);

// Converts MasterBuffer in place into the PCM block.
void ConvertToPcm16();
// The same, sample by sample: what the render paths with narrow vectors use.
void ConvertToPcm16ByLoop();

// The PCM block; valid after ConvertToPcm16.
std::span<const std::int16_t> PcmBlock();

// Converts MasterBuffer to PCM, opens the default output and queues the whole block, then returns
// while it plays. Without a usable device it says so on standard error and the run goes on.
void PlayMaster();
