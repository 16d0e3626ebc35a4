// The built-in tune as both programs render it: the first console line, then one channel.
#pragma once

constexpr int SND_SONG_CHANNEL = 0;
constexpr float SND_SONG_GAIN = 0.03f;

// Prints "SND_UNIT_NUM = 1800" and renders SongNotes on channel 0 into MasterBuffer.
void RenderSong();
