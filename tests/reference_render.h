// A plain, sample-by-sample rendering of a note sequence, kept as the oracle that the renderer
// (and any faster version of it) must match bit for bit. It owns its buffers.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct ReferenceTrack {
  std::vector<float> track;   // the voice after the effect chain
  std::vector<float> master;  // accumulates gain * track, like MasterBuffer
};

// Zeroed track and master of the full length.
ReferenceTrack MakeReferenceTrack();

float ReferenceNoteToIncrement(int n);
void ReferenceVoice(std::span<const std::uint8_t> notes, std::vector<float>& track);
// The effects over any length of track.
void ReferenceEcho(std::vector<float>& x, int delay, float g);
void ReferenceLowPass(std::vector<float>& x, float a);
void ReferenceEmphasis(std::vector<float>& x, float a);

// Voice, effect chain and mix, as RenderTrack does for a channel it accepts.
void ReferenceRenderTrack(std::span<const std::uint8_t> notes, float gain, ReferenceTrack& out);
