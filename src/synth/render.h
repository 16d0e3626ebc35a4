// The track renderer: one oscillator voice, the fixed effect chain, and the mix into MasterBuffer.
#pragma once

#include <cstdint>
#include <span>

// Renders a note sequence on one channel and adds it, times gain, into MasterBuffer. Prints
// "Render Track ch[<channel>]". A channel above SND_MAX_CHANNEL does nothing at all. Reading
// stops at NOTE_END, after SND_UNIT_NUM units, or at the end of notes, whichever comes first.
// The voice, the effect chain (effects.h, in order) and MixTrack run as one pass, on the render
// path in use, with the same bits as one stage after the other.
void RenderTrack(int channel, std::span<const std::uint8_t> notes, float gain);

// MasterBuffer[n] += gain * TrackBuffer[n], rounded to float, for every sample.
void MixTrack(float gain);
