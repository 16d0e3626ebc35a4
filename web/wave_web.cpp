// What the page calls in the WebAssembly module: the player's steps up to the point where the
// block is handed to a device, and what the page needs to know of the block and the prompt. The
// page plays the block through WebAudio and shows the prompt.
#include <emscripten/emscripten.h>

#include <string>


#include "audio/pcm.h"
#include "common/pcm_format.h"
#include "common/prompt_text.h"
#include "common/sound.h"
#include "synth/note_text.h"
#include "synth/notes.h"
#include "synth/paths/render_paths.h"
#include "synth/song.h"

namespace {
NoteSequence notes(SongNotes.begin(), SongNotes.end());  // what WaveRender renders
char notes_input[kMaxNoteTextBytes];                      // the page writes a text form here
std::string notes_message, notes_text;
}  // namespace

extern "C" {

// Zeroes both sample buffers: before the render, and when OK has stopped the sound.
EMSCRIPTEN_KEEPALIVE void WaveResetSound() { ClearSoundBuffers(); }

// Prints the two console lines, renders the notes (the built-in song unless WaveUseNotes has
// chosen others) and converts them into the PCM block.
EMSCRIPTEN_KEEPALIVE void WaveRender() {
  RenderNotes(notes);
  ConvertToPcm16();
}

// Where the page puts a note sequence's text form, and how many bytes fit.
EMSCRIPTEN_KEEPALIVE char* WaveNotesInput() { return notes_input; }
EMSCRIPTEN_KEEPALIVE int WaveNotesInputSize() { return static_cast<int>(sizeof notes_input); }

// The text form of `length` bytes at WaveNotesInput as the notes to render: "" when they are, else
// what is wrong and where, as the programs say it ("line 1, column 4: value 300 is not a byte").
EMSCRIPTEN_KEEPALIVE const char* WaveUseNotes(int length) {
  NoteSequence read;
  notes_message.clear();
  if (ReadNoteText({notes_input, static_cast<std::size_t>(length)}, read, notes_message)) notes = std::move(read);
  return notes_message.c_str();
}

// The notes WaveRender renders, in the text form.
EMSCRIPTEN_KEEPALIVE const char* WaveNotesText() {
  notes_text = NoteText(notes);
  return notes_text.c_str();
}

// Where the PCM block lies in the module's memory, and its length in bytes.
EMSCRIPTEN_KEEPALIVE const unsigned char* WavePcmBlock() { return PcmBlock().data(); }
EMSCRIPTEN_KEEPALIVE int WavePcmBytes() { return static_cast<int>(PcmBlock().size()); }

// The block's format: samples per second, channels, bytes per sample.
EMSCRIPTEN_KEEPALIVE int WaveSampleRate() { return SND_SAMPLE_RATE; }
EMSCRIPTEN_KEEPALIVE int WaveChannels() { return SND_PCM_CHANNELS; }
EMSCRIPTEN_KEEPALIVE int WavePcmSampleBytes() { return SND_PCM_SAMPLE_BYTES; }

// The prompt's sentence and caption, in UTF-8.
EMSCRIPTEN_KEEPALIVE const char* WavePromptText() { return kPromptText; }
EMSCRIPTEN_KEEPALIVE const char* WavePromptCaption() { return kPromptCaption; }

// The render path this module runs: "portable" or "wasm-simd".
EMSCRIPTEN_KEEPALIVE const char* WaveRenderPath() { return RenderPathName(ActiveRenderPath()); }

}  // extern "C"
