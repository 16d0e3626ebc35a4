// The wave-out operations over the backends this build has. The chooser decides which backends a
// run may try, in order; the first that opens a device plays the block.
#include "platform/wave_out.h"

#include <cstdlib>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/shown_name.h"
#include "platform/wave_out/wave_out_backend.h"

struct WaveOutStream {
  const WaveOutBackend* backend;
  void* state;
};

namespace {

// Best first; null, which plays nothing, last.
const WaveOutBackend* const kBackends[] = {
#if WAVE_OUT_PULSE
    &kPulseWaveOut,  // PulseAudio or PipeWire's pulse server: it stays responsive whatever the server does
#endif
#if WAVE_OUT_SDL
    &kSdlWaveOut,  // everything else SDL reaches (ALSA, PipeWire, its test drivers)
#endif
#if WAVE_OUT_WINMM
    &kWinmmWaveOut,
#endif
    &kNullWaveOut,
};

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// The backends this run may try. WAVE_AUDIO names one, for diagnosis; an SDL_AUDIODRIVER the user
// set is a choice of SDL's output. Otherwise every backend but null, which only a build without
// any other uses. Empty, with why, if the choice names nothing this build has.
std::vector<const WaveOutBackend*> Candidates(std::string& why) {
  const char* wanted = Environment("WAVE_AUDIO");
  if (!wanted && Environment("SDL_AUDIODRIVER")) wanted = "sdl";
  std::vector<const WaveOutBackend*> list;
  std::string names;
  for (const WaveOutBackend* backend : kBackends) {
    names += (names.empty() ? "" : ", ") + std::string(backend->name);
    if (wanted ? std::string_view(wanted) == backend->name : backend != &kNullWaveOut) list.push_back(backend);
  }
  if (list.empty() && !wanted) list.push_back(&kNullWaveOut);
  if (list.empty())
    why = (Environment("WAVE_AUDIO") ? std::string("WAVE_AUDIO=") : std::string("SDL_AUDIODRIVER chooses ")) +
          wanted + ", which this build does not have (it has " + names + ")";
  return list;
}

// Said once about the environment, with the outcome of the open.
std::string environment_note;

// A runtime folder (XDG_RUNTIME_DIR) that is not this user's own is refused by libpulse in every
// client that looks there (ours, SDL's, ALSA's pulse plugin), each with lines of its own on
// standard error. Taken out of the environment before anything looks, it is looked for where
// libpulse looks without one, and said in one line. Once, before any thread starts.
void SettleRuntimeFolder() {
#ifndef _WIN32
  static bool settled = false;
  if (settled) return;
  settled = true;
  const char* folder = Environment("XDG_RUNTIME_DIR");
  struct stat st {};
  if (!folder || ::stat(folder, &st) != 0) return;  // a folder that is not there is passed by quietly
  const char* wrong = !S_ISDIR(st.st_mode)         ? "it is not a folder"
                      : st.st_uid != ::getuid() ? "it belongs to another user"
                                                : nullptr;
  if (!wrong) return;
  environment_note = "not using XDG_RUNTIME_DIR " + Shown(folder) + ": " + wrong;
  ::unsetenv("XDG_RUNTIME_DIR");
#endif
}

}  // namespace

void WaveOutReach(const WaveOutFormat* format) {
  SettleRuntimeFolder();
  std::string why;
  for (const WaveOutBackend* backend : Candidates(why))
    if (backend->reach && backend->reach(*format)) return;
}

bool WaveOutOpen(WaveOutDevice* device, const WaveOutFormat* format, std::string& why) {
  SettleRuntimeFolder();
  *device = nullptr;
  const auto candidates = Candidates(why);
  WaveOutAttempt attempt;
  for (const WaveOutBackend* backend : candidates) {
    attempt.why.clear();
    attempt.skipped.clear();
    if (void* state = backend->open(*format, attempt)) {
      *device = new WaveOutStream{backend, state};
      why = environment_note;
      return true;
    }
    why += (why.empty() ? "" : "; ") + std::string(backend->name);
    if (!attempt.skipped.empty()) why += " (skipped " + attempt.skipped + ", which may ask the same server)";
    why += ": " + attempt.why;
  }
  if (!environment_note.empty()) why = environment_note + "; " + why;
  return false;
}
void WaveOutPrepare(WaveOutDevice device, const WaveOutHeader* header) {
  if (device) device->backend->prepare(device->state, *header);
}

void WaveOutWrite(WaveOutDevice device, const WaveOutHeader*) {
  if (device) device->backend->write(device->state);
}

void WaveOutClose(WaveOutDevice device) {
  if (!device) return;
  device->backend->close(device->state);
  delete device;
}

WaveOutProgress WaveOutPosition(WaveOutDevice device) {
  if (!device) return {0, true};
  return device->backend->position(device->state);
}
