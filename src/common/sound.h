// Shared constants and the two sample buffers of the whole program.
#pragma once

constexpr int SND_SAMPLE_RATE = 44100;
constexpr int SND_UNIT_LEN = 4410;  // one sound unit: 0.1 s, the time step of a note sequence
constexpr int SND_UNIT_NUM = 1800;  // 180 s
constexpr int SND_TOTAL_SAMPLES = SND_UNIT_LEN * SND_UNIT_NUM;
constexpr int SND_MAX_CHANNEL = 4;  // RenderTrack ignores channels above this

// Scratch for one channel: the voice is written here, processed in place, then mixed.
extern float TrackBuffer[SND_TOTAL_SAMPLES];
// The mix target. Zeroed only by ResetSound; the player turns its first half into PCM.
extern float MasterBuffer[SND_TOTAL_SAMPLES];

// Brings the two buffers' pages into memory in one go, before they are first written: the system
// does that much faster than page by page on first touch. Only the first call does anything.
void PrepareSoundBuffers();
