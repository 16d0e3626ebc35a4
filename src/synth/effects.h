// The track effects, each a plain pass over the whole of TrackBuffer, in place, from low to high
// sample, so a sample it reads below the current one already holds its own output: all of them
// are recursive. Arithmetic is double, each result rounded to float where it is stored.
// RenderTrack runs the same chain, with the same bits, fused into its one pass.
#pragma once

// Feedback comb: x[n] += g * x[n - delay] for n >= delay, so each repeat falls by g every delay
// samples. A delay outside 0 .. SND_TOTAL_SAMPLES - 1 changes nothing.
void ApplyEcho(int delay, float g);

// One-pole low-pass y[n] = x[n] + (y[n - 1] - x[n]) * a. Sample 0 is unchanged.
void ApplyLowPass(float a);

// First-order recursive filter y[n] = x[n] - a * y[n - 1]. Sample 0 is unchanged.
void ApplyEmphasis(float a);
