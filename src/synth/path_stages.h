// The render's stages one at a time, on any path: what the tests compare with the reference, stage
// by stage, and what the benchmark times. The programs run them fused (render_paths.h).
#pragma once

#include "synth/render_paths.h"

struct PathStages {
  void (*voice)(const VoicePlan& plan);  // writes all of TrackBuffer
  void (*echo)(int delay, float g);      // ApplyEcho
  void (*mix)(float gain);               // MixTrack
  // The path's vector sine on count values (a multiple of 8), for measuring its accuracy.
  void (*sine)(const double* in, double* out, int count);
};

// The stages of a supported path.
const PathStages& StagesOf(RenderPath path);
