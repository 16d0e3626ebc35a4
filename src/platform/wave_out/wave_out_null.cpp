// Wave-out where the build has no sound system (a headless or web build): the block "plays" in
// silence by the clock, so the prompt shows a moving position and the run ends as it would.
#include <chrono>

#include "platform/wave_out/wave_out_backend.h"

namespace {

using Clock = std::chrono::steady_clock;

struct NullStream {
  std::uint32_t bytes_per_second = 0;
  std::uint32_t length = 0;
  bool started = false;
  Clock::time_point start;
};

NullStream& Of(void* state) { return *static_cast<NullStream*>(state); }

void* Open(const WaveOutFormat& format, WaveOutAttempt&) {
  auto* stream = new NullStream;
  stream->bytes_per_second = format.bytes_per_second;
  return stream;
}

void Prepare(void* state, const WaveOutHeader& header) { Of(state).length = header.bytes; }

void Write(void* state) {
  Of(state).started = true;
  Of(state).start = Clock::now();
}

void Close(void* state) { delete &Of(state); }

WaveOutProgress Position(void* state) {
  const NullStream& s = Of(state);
  if (!s.started) return {0, false};
  const std::chrono::duration<double> elapsed = Clock::now() - s.start;
  const double played = elapsed.count() * s.bytes_per_second;
  if (played >= s.length) return {s.length, true};
  return {static_cast<std::uint32_t>(played), false};
}

}  // namespace

const WaveOutBackend kNullWaveOut = {"null", nullptr, Open, Prepare, Write, Close, Position};
