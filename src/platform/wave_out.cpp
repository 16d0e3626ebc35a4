// The wave-out operations over the backends this build has. The chooser decides which backends a
// run may try, in order; the first that opens a device plays the block.
#include "platform/wave_out.h"

#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/wave_out_backend.h"

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

}  // namespace

void WaveOutReach(const WaveOutFormat* format) {
  std::string why;
  for (const WaveOutBackend* backend : Candidates(why))
    if (backend->reach && backend->reach(*format)) return;
}

bool WaveOutOpen(WaveOutDevice* device, const WaveOutFormat* format, std::string& why) {
  *device = nullptr;
  const auto candidates = Candidates(why);
  for (const WaveOutBackend* backend : candidates) {
    std::string reason;
    if (void* state = backend->open(*format, reason)) {
      *device = new WaveOutStream{backend, state};
      why.clear();
      return true;
    }
    why += (why.empty() ? "" : "; ") + std::string(backend->name) + ": " + reason;
  }
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
