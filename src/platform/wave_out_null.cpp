// Wave-out where the build has no sound system (a headless or web build): the block "plays" in
// silence by the clock, so the prompt shows a moving position and the run ends as it would.
#include <chrono>

#include "platform/wave_out.h"

struct WaveOutStream {
  using Clock = std::chrono::steady_clock;
  std::uint32_t bytes_per_second = 0;
  std::uint32_t length = 0;
  bool started = false;
  Clock::time_point start;
};

bool WaveOutOpen(WaveOutDevice* device, const WaveOutFormat* format, std::string& why) {
  *device = nullptr;
  if (format->bytes_per_second == 0) {
    why = "the format has no rate";
    return false;
  }
  *device = new WaveOutStream;
  (*device)->bytes_per_second = format->bytes_per_second;
  return true;
}

void WaveOutPrepare(WaveOutDevice device, const WaveOutBlock* block) {
  if (device) device->length = block->bytes;
}

void WaveOutWrite(WaveOutDevice device, const WaveOutBlock*) {
  if (!device) return;
  device->started = true;
  device->start = WaveOutStream::Clock::now();
}

void WaveOutClose(WaveOutDevice device) { delete device; }

WaveOutProgress WaveOutPosition(WaveOutDevice device) {
  if (!device) return {0, true};
  if (!device->started) return {0, false};
  const std::chrono::duration<double> elapsed = WaveOutStream::Clock::now() - device->start;
  const double played = elapsed.count() * device->bytes_per_second;
  if (played >= device->length) return {device->length, true};
  return {static_cast<std::uint32_t>(played), false};
}
