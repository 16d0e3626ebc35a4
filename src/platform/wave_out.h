// The wave-out device: plays one block of PCM, queued once, to its end in the background.
//
// Four operations as the program uses them (open the default output for a format, prepare a
// block, queue it, close) and the position for the prompt. One backend per file, built as
// CMake's WAVE_SOUND_OUTPUT says and tried in order, in wave_out/: wave_out_pulse.cpp (a PulseAudio or
// PipeWire server), wave_out_sdl.cpp (SDL2: ALSA, PipeWire, its own drivers), wave_out_winmm.cpp
// (Windows), wave_out_null.cpp (no sound system: keeps time in silence). WAVE_AUDIO=pulse, sdl,
// winmm or null picks one; an SDL_AUDIODRIVER that is set picks sdl.
#pragma once

#include <cstdint>
#include <string>

#include "common/device_state.h"

// Begins, in the background, opening the default output for format, where that takes long (a
// sound server's answer), so that the WaveOutOpen that follows finds it ready. Nothing plays
// before the block is written. Call it before any thread starts: it first settles what the sound
// libraries will read of the environment. Optional: WaveOutOpen works without it.
void WaveOutReach(const WaveOutFormat* format);

// Opens the system's default output for format, with no completion notification, and stores
// its handle in device. On failure device is null and why gives each backend tried and its
// reason ("pulse: Connection refused; sdl: ..."); where a sound server took the connection and
// never answered, the backends after it do not ask it again, and say what they left out. On
// success why is empty, or says in one line what the environment held that was not used.
bool WaveOutOpen(WaveOutDevice* device, const WaveOutFormat* format, std::string& why);

// Makes the block that header describes ready for output on device.
void WaveOutPrepare(WaveOutDevice device, const WaveOutHeader* header);

// Queues the prepared block and returns at once; it plays to its end with no further calls.
// The header and the block must stay untouched until the device is closed.
void WaveOutWrite(WaveOutDevice device, const WaveOutHeader* header);

// Stops playback and closes the device: once it returns, nothing reads the block any more.
void WaveOutClose(WaveOutDevice device);

// How far the queued block has played. A null device has nothing to play: finished.
struct WaveOutProgress {
  std::uint32_t played_bytes;
  bool finished;  // the whole block has gone to the device
};
WaveOutProgress WaveOutPosition(WaveOutDevice device);
