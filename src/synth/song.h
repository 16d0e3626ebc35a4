// A tune as both programs render it: the first console line, then one channel.
#pragma once

constexpr int SND_SONG_CHANNEL = 0;
constexpr float SND_SONG_GAIN = 0.03f;

#include <cstdint>
#include <span>

// Prints "SND_UNIT_NUM = 1800" and renders notes on channel 0 into MasterBuffer, as the programs
// render a tune: RenderSong the built-in one.
void RenderNotes(std::span<const std::uint8_t> notes);
void RenderSong();
