// Inside the platform layer only: one way of playing the block. wave_out.cpp holds the list of
// backends this build has and the rules of which a run tries; the device handle the program
// holds remembers which one opened.
#pragma once

#include <string>

#include "platform/wave_out.h"

// One run's tries at opening the output, backend after backend: what the ones before have found
// out, and what this one says.
struct WaveOutAttempt {
  // A sound server took the connection and never answered. Set by the backend that waited for it;
  // the backends after it leave out every way of reaching a sound server, which would wait for
  // the same one again.
  bool server_silent = false;
  std::string why;      // this backend's reason, where it could not open
  std::string skipped;  // what this backend left out for a silent server, as a list of names
};

struct WaveOutBackend {
  const char* name;  // as WAVE_AUDIO and the messages name it
  // Begins opening the default output for format in the background, for open to finish; true if
  // it did. Null for a backend whose opening is quick anyway.
  bool (*reach)(const WaveOutFormat& format);
  // Opens the default output for format; null, with the reason in attempt.why, if this backend
  // cannot.
  void* (*open)(const WaveOutFormat& format, WaveOutAttempt& attempt);
  void (*prepare)(void* state, const WaveOutHeader& header);
  void (*write)(void* state);
  // Stops playback and frees the state: nothing reads the block once it returns.
  void (*close)(void* state);
  WaveOutProgress (*position)(void* state);
};

// The backends a build may have; each is defined in its own file.
extern const WaveOutBackend kPulseWaveOut;  // wave_out_pulse.cpp
extern const WaveOutBackend kSdlWaveOut;    // wave_out_sdl.cpp
extern const WaveOutBackend kWinmmWaveOut;  // wave_out_winmm.cpp
extern const WaveOutBackend kNullWaveOut;   // wave_out_null.cpp
