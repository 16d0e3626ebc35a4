// What the page calls in the WebAssembly module: the player's steps up to the point where the
// block is handed to a device, and what the page needs to know of the block and the prompt. The
// page plays the block through WebAudio and shows the prompt.
#include <emscripten/emscripten.h>


#include "audio/pcm.h"
#include "common/pcm_format.h"
#include "common/prompt_text.h"
#include "common/sound.h"
#include "synth/paths/render_paths.h"
#include "synth/song.h"

extern "C" {

// Zeroes both sample buffers: before the render, and when OK has stopped the sound.
EMSCRIPTEN_KEEPALIVE void WaveResetSound() { ClearSoundBuffers(); }

// Prints the two console lines, renders the song and converts it into the PCM block.
EMSCRIPTEN_KEEPALIVE void WaveRender() {
  RenderSong();
  ConvertToPcm16();
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
