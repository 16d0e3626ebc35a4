// Wave-out on SDL2, which reaches PipeWire, PulseAudio or ALSA, whatever the machine has, and
// converts when the device runs at another rate or format.
//
// SDL's audio thread calls Fill, which copies the next piece of the block straight from the
// caller's memory, and silence once the block has ended: the block is never copied as a whole.
#include <SDL.h>

#ifdef __linux__
#include <dlfcn.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "platform/wave_out/wave_out_backend.h"

namespace {

struct SdlStream {
  SDL_AudioDeviceID id = 0;
  const unsigned char* data = nullptr;  // the prepared block
  std::uint32_t length = 0;
  std::atomic<std::uint32_t> position{0};  // bytes handed to the device so far
  std::atomic<bool> finished{false};
};

// A larger buffer rides out a busy machine that keeps SDL's thread waiting (2048 frames, 46 ms,
// broke up beside two CPU hogs on a sound server; servers now go through libpulse). But closing
// waits for SDL's thread, which lets two buffers drain before it ends: three buffers must stay
// well inside the second in which OK ends the run. 4096 frames is 93 ms at 44.1 kHz.
constexpr int kFramesPerCallback = 4096;

void SDLCALL Fill(void* user, Uint8* out, int len) {
  auto& s = *static_cast<SdlStream*>(user);
  const std::uint32_t pos = s.position.load(std::memory_order_relaxed);
  const std::uint32_t n = std::min<std::uint32_t>(static_cast<std::uint32_t>(len), s.length - pos);
  if (n > 0) std::memcpy(out, s.data + pos, n);
  std::memset(out + n, 0, static_cast<std::size_t>(len) - n);  // silence for signed 16-bit
  s.position.store(pos + n, std::memory_order_relaxed);
  // Only once the device asks for more after the end has the last piece gone out.
  if (n == 0) s.finished.store(true, std::memory_order_release);
}

#ifdef __linux__
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// While SDL looks for a device, libasound prints each failed try to standard error itself. The
// reason that matters comes back through SDL_GetError, so its own printing is switched off here.
// SDL loads the same library later and shares the setting.
void QuietAlsa() {
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!alsa) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  if (auto set = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"))) set(IgnoreAlsaError);
}
#else
void QuietAlsa() {}
#endif

// SDL's drivers that may reach a sound server: its own PulseAudio, PipeWire and JACK clients
// (PipeWire serves JACK too), ALSA, whose default device goes through the pulse plugin wherever a
// server runs (and whose configuration asks the server whether it runs), and sndio, which on
// Linux plays through ALSA. A server that has not answered would keep each of them waiting for
// half a minute, or for ever.
constexpr const char* kServerDrivers[] = {"pulseaudio", "pipewire", "alsa", "sndio", "jack"};
// Drivers SDL uses only when named, which no one here asked for: a file, or nothing at all.
constexpr const char* kNamedOnlyDrivers[] = {"disk", "dummy"};

template <std::size_t N>
bool Listed(const char* name, const char* const (&list)[N]) {
  for (const char* entry : list)
    if (std::strcmp(name, entry) == 0) return true;
  return false;
}

// Has SDL try only its drivers that reach no sound server; the names left out go to skipped.
// False where none is left.
bool AvoidSoundServers(std::string& skipped) {
  std::string others;
  for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i) {
    const char* name = SDL_GetAudioDriver(i);
    std::string& list = Listed(name, kServerDrivers) ? skipped : others;
    if (!Listed(name, kNamedOnlyDrivers)) list += (list.empty() ? "" : ", ") + std::string(name);
  }
  if (others.empty()) return false;
  others.erase(std::remove(others.begin(), others.end(), ' '), others.end());  // SDL's list: "a,b"
  SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, others.c_str(), SDL_HINT_OVERRIDE);
  return true;
}

void* Open(const WaveOutFormat& format, WaveOutAttempt& attempt) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // Ctrl-C keeps ending the program
  SDL_SetHint(SDL_HINT_APP_NAME, "Wave");         // the name the sound server shows
  if (attempt.server_silent && !AvoidSoundServers(attempt.skipped)) {
    attempt.why = "no driver left";
    return nullptr;
  }
  QuietAlsa();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    attempt.why = SDL_GetError();
    return nullptr;
  }
  auto* stream = new SdlStream;
  SDL_AudioSpec want{};
  want.freq = static_cast<int>(format.sample_rate);
  want.format = AUDIO_S16LSB;  // the block's samples: signed 16-bit little-endian
  want.channels = static_cast<Uint8>(format.channels);
  want.samples = kFramesPerCallback;
  want.callback = Fill;
  want.userdata = stream;
  // No changes allowed: SDL converts to whatever the device really runs at.
  stream->id = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (stream->id == 0) {
    attempt.why = SDL_GetError();
    delete stream;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  return stream;
}

SdlStream& Of(void* state) { return *static_cast<SdlStream*>(state); }

void Prepare(void* state, const WaveOutHeader& header) {
  SdlStream& s = Of(state);
  SDL_LockAudioDevice(s.id);
  s.data = header.data;
  s.length = header.bytes;
  s.position = 0;
  s.finished = false;
  SDL_UnlockAudioDevice(s.id);
}

void Write(void* state) { SDL_PauseAudioDevice(Of(state).id, 0); }

void Close(void* state) {
  // Closing stops the audio thread and waits for it, so the block is no longer read after this.
  SDL_CloseAudioDevice(Of(state).id);
  delete &Of(state);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

WaveOutProgress Position(void* state) {
  const SdlStream& s = Of(state);
  const bool finished = s.finished.load(std::memory_order_acquire);
  return {s.position.load(std::memory_order_relaxed), finished};
}

}  // namespace

const WaveOutBackend kSdlWaveOut = {"sdl", nullptr, Open, Prepare, Write, Close, Position};
