// The render's stages one at a time, on any path: what the tests compare with the reference, stage
// by stage, and what the benchmark times. The programs run them fused (render_paths.h); these are
// in the library wave_synth_stages, which only the tests and the benchmark link.
#pragma once

#include <cstdint>
#include <span>

#include "synth/paths/render_paths.h"

struct VoicePlan;

struct PathStages {
  void (*voice)(const VoicePlan& plan);                 // writes all of TrackBuffer
  void (*echo)(std::span<float> x, int delay, float g);  // ApplyEcho, over x
  void (*mix)(std::span<float> master, std::span<const float> track, float gain);  // MixTrack
  void (*convert)(std::span<float> samples);  // ConvertToPcm16, in place over samples
  // The path's vector sine on count values (a multiple of 8), for measuring its accuracy.
  void (*sine)(const double* in, double* out, int count);
};

// The stages of a supported path.
const PathStages& StagesOf(RenderPath path);

// The voice alone, on the render path in use: writes the whole of TrackBuffer, silence included.
void RenderVoice(std::span<const std::uint8_t> notes);
