// The track renderer: one oscillator voice, the fixed effect chain, and the mix into MasterBuffer.
#pragma once

#include <cstdint>
#include <span>

// Renders a note sequence on one channel and adds it, times gain, into MasterBuffer. Prints
// "Render Track ch[<channel>]". A channel above SND_MAX_CHANNEL does nothing at all. Reading
// stops at NOTE_END, after SND_UNIT_NUM units, or at the end of notes, whichever comes first.
void RenderTrack(int channel, std::span<const std::uint8_t> notes, float gain);

// The stages of RenderTrack, in the order it runs them.
void RenderVoice(std::span<const std::uint8_t> notes);  // zeroes TrackBuffer, writes the voice
void ApplyTrackEffects();                                // both echoes, low-pass, emphasis
void MixTrack(float gain);                               // MasterBuffer += gain * TrackBuffer
