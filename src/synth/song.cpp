#include "synth/song.h"

#include "common/console.h"
#include "common/sound.h"
#include "synth/notes.h"
#include "synth/render.h"

void RenderSong() {
  ConsolePrint("SND_UNIT_NUM = %d\n", SND_UNIT_NUM);
  RenderTrack(SND_SONG_CHANNEL, SongNotes, SND_SONG_GAIN);
}
