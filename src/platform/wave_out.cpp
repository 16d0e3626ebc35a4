// The wave-out operations over the backends this build has, tried in order: the first that opens
// a device plays the block.
#include "platform/wave_out.h"

#include "platform/wave_out_backend.h"

struct WaveOutStream {
  const WaveOutBackend* backend;
  void* state;
};

namespace {

// Best first. A backend that does not apply (no server to reach) says so and the next is tried.
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
#if WAVE_OUT_NULL
    &kNullWaveOut,
#endif
};

}  // namespace

void WaveOutReach(const WaveOutFormat* format) {
  for (const WaveOutBackend* backend : kBackends)
    if (backend->reach && backend->reach(*format)) return;
}

bool WaveOutOpen(WaveOutDevice* device, const WaveOutFormat* format, std::string& why) {
  *device = nullptr;
  for (const WaveOutBackend* backend : kBackends) {
    why.clear();
    if (void* state = backend->open(*format, why)) {
      *device = new WaveOutStream{backend, state};
      return true;
    }
  }
  return false;  // why holds the last backend's reason
}

void WaveOutPrepare(WaveOutDevice device, const WaveOutBlock* block) {
  if (device) device->backend->prepare(device->state, *block);
}

void WaveOutWrite(WaveOutDevice device, const WaveOutBlock*) {
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
