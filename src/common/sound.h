// Shared constants and the two sample buffers of the whole program.
#pragma once

constexpr int SND_SAMPLE_RATE = 44100;
constexpr int SND_UNIT_LEN = 4410;  // one sound unit: 0.1 s, the time step of a note sequence
constexpr int SND_UNIT_NUM = 1800;  // 180 s
constexpr int SND_TOTAL_SAMPLES = SND_UNIT_LEN * SND_UNIT_NUM;
constexpr int SND_MAX_CHANNEL = 4;  // RenderTrack ignores channels above this

// Scratch for one channel: the voice is written here, processed in place, then mixed.
extern float TrackBuffer[SND_TOTAL_SAMPLES];
// The mix target, cleared only by ClearSoundBuffers; the player turns its first half into PCM.
extern float MasterBuffer[SND_TOTAL_SAMPLES];

// Zeroes both buffers. Where the system can, their pages are handed back to it, to come again
// zeroed: much faster than writing zeros over them, and nothing is left to free at exit.
void ClearSoundBuffers();

// Brings the two buffers' pages into memory in one go, on huge pages where the system offers them,
// before the render writes them: the system does that much faster than page by page on first
// touch. Does something at its first call, and at the first after each ClearSoundBuffers.
void PrepareSoundBuffers();
