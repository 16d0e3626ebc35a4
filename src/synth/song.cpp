#include "synth/song.h"

#include "common/console.h"
#include "common/sound.h"
#include "synth/notes.h"
#include "synth/render.h"

void RenderNotes(std::span<const std::uint8_t> notes) {
  ConsolePrint("SND_UNIT_NUM = %d\n", SND_UNIT_NUM);
  RenderTrack(SND_SONG_CHANNEL, notes, SND_SONG_GAIN);
}

void RenderSong() { RenderNotes(SongNotes); }
