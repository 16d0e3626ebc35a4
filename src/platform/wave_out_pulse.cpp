// Wave-out on a PulseAudio server, or PipeWire's, which speaks the same protocol, through
// libpulse's threaded main loop.
//
// Nothing here waits on the server once the stream is open: the loop's thread feeds the block as
// the server asks for it, and closing only disconnects and stops that thread. So OK ends the run
// at once even while the sink is suspended or the server is stopped, and a sink that goes away or
// a server that dies only ends the sound, with one line to say so.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/wave_out_backend.h"

namespace {

// The server holds this much of the block ahead of what it plays. Nothing is computed while the
// block plays, so a large buffer costs nothing but memory in the server, and it rides out a busy
// machine that keeps the feeding thread waiting (46 ms broke up beside two CPU hogs). Playback
// starts as soon as the first two seconds are handed over, which takes a few milliseconds.
constexpr pa_usec_t kAheadUsec = 2'000'000;
// How long the server may take to answer when the connection is made.
constexpr auto kConnectTimeout = std::chrono::seconds(3);

struct PulseStream {
  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;
  std::uint32_t bytes_per_second = 0;
  bool open = false;  // set once the stream is ready: later failures are reported
  // Fed on the loop's thread, under its lock.
  const unsigned char* data = nullptr;
  std::uint32_t length = 0;
  std::uint32_t written = 0;
  bool draining = false;
  std::uint32_t played = 0;  // last known position
  std::atomic<bool> finished{false};
};

PulseStream& Of(void* state) { return *static_cast<PulseStream*>(state); }

const char* ContextError(const PulseStream& s) { return pa_strerror(pa_context_errno(s.context)); }

// The sound has stopped for good: the stream or the connection failed, or the server killed the
// stream (its sink went away). Nothing more will play; the run goes on to the prompt's end.
void Lost(PulseStream& s) {
  if (s.finished.exchange(true) || !s.open) return;
  if (pa_context_errno(s.context) == PA_ERR_KILLED)
    std::fprintf(stderr, "wave: the sound stopped: the sound server removed its output\n");
  else
    std::fprintf(stderr, "wave: the sound stopped: %s\n", ContextError(s));
}

void OnContextState(pa_context* c, void* user) {
  PulseStream& s = Of(user);
  const pa_context_state_t state = pa_context_get_state(c);
  if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) Lost(s);
  pa_threaded_mainloop_signal(s.loop, 0);
}

void OnStreamState(pa_stream* p, void* user) {
  PulseStream& s = Of(user);
  const pa_stream_state_t state = pa_stream_get_state(p);
  if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) Lost(s);
  pa_threaded_mainloop_signal(s.loop, 0);
}

void OnDrained(pa_stream*, int success, void* user) {
  if (success) Of(user).finished = true;
}

// The server has room for nbytes more: the next piece of the block, straight from its memory.
void OnWritable(pa_stream* p, std::size_t nbytes, void* user) {
  PulseStream& s = Of(user);
  if (!s.data) return;
  const std::size_t n = std::min<std::size_t>(nbytes, s.length - s.written);
  if (n > 0 && pa_stream_write(p, s.data + s.written, n, nullptr, 0, PA_SEEK_RELATIVE) == 0) s.written += n;
  if (s.written == s.length && !s.draining) {
    s.draining = true;  // the whole block is with the server: done once it has played it
    if (pa_operation* o = pa_stream_drain(p, OnDrained, &s)) pa_operation_unref(o);
  }
}

void Free(PulseStream* s) {
  if (s->loop) pa_threaded_mainloop_lock(s->loop);
  if (s->stream) {
    pa_stream_set_state_callback(s->stream, nullptr, nullptr);
    pa_stream_set_write_callback(s->stream, nullptr, nullptr);
    pa_stream_disconnect(s->stream);  // the server stops playing it; no answer is awaited
    pa_stream_unref(s->stream);
  }
  if (s->context) {
    pa_context_set_state_callback(s->context, nullptr, nullptr);
    pa_context_disconnect(s->context);
    pa_context_unref(s->context);
  }
  if (s->loop) {
    pa_threaded_mainloop_unlock(s->loop);
    pa_threaded_mainloop_stop(s->loop);
    pa_threaded_mainloop_free(s->loop);
  }
  delete s;
}

// Waits, with the loop's lock held, until done() or the time is up.
template <typename Done>
bool WaitUntil(PulseStream& s, Done done) {
  const auto end = std::chrono::steady_clock::now() + kConnectTimeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    pa_threaded_mainloop_unlock(s.loop);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    pa_threaded_mainloop_lock(s.loop);
  }
  return true;
}

void* Open(const WaveOutFormat& format, std::string& why) {
  // An output chosen for SDL by name is the user's choice: leave the device to SDL.
  if (const char* driver = std::getenv("SDL_AUDIODRIVER"); driver && *driver) {
    why = "SDL_AUDIODRIVER chooses SDL's output";
    return nullptr;
  }
  auto* s = new PulseStream;
  s->bytes_per_second = format.bytes_per_second;
  s->loop = pa_threaded_mainloop_new();
  if (!s->loop || !(s->context = pa_context_new(pa_threaded_mainloop_get_api(s->loop), "Wave"))) {
    why = "cannot start libpulse";
    Free(s);
    return nullptr;
  }
  pa_context_set_state_callback(s->context, OnContextState, s);
  // No server is started for us: a desktop that has one runs it already.
  if (pa_context_connect(s->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(s->loop) < 0) {
    why = ContextError(*s);
    Free(s);
    return nullptr;
  }
  pa_threaded_mainloop_lock(s->loop);
  const auto context_settled = [&] {
    const pa_context_state_t c = pa_context_get_state(s->context);
    return c == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(c);
  };
  bool ready = WaitUntil(*s, context_settled) && pa_context_get_state(s->context) == PA_CONTEXT_READY;
  if (ready) {
    const pa_sample_spec spec = {PA_SAMPLE_S16LE, format.sample_rate, static_cast<std::uint8_t>(format.channels)};
    s->stream = pa_stream_new(s->context, "Wave", &spec, nullptr);
    if (s->stream) {
      pa_stream_set_state_callback(s->stream, OnStreamState, s);
      pa_stream_set_write_callback(s->stream, OnWritable, s);
      pa_buffer_attr attr;
      attr.maxlength = attr.prebuf = attr.minreq = attr.fragsize = static_cast<std::uint32_t>(-1);
      attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kAheadUsec, &spec));
      const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                                         PA_STREAM_AUTO_TIMING_UPDATE);
      const auto stream_settled = [&] {
        const pa_stream_state_t p = pa_stream_get_state(s->stream);
        return p == PA_STREAM_READY || !PA_STREAM_IS_GOOD(p);
      };
      ready = pa_stream_connect_playback(s->stream, nullptr, &attr, flags, nullptr, nullptr) == 0 &&
              WaitUntil(*s, stream_settled) && pa_stream_get_state(s->stream) == PA_STREAM_READY;
    } else {
      ready = false;
    }
  }
  if (!ready) {
    why = pa_context_errno(s->context) ? ContextError(*s) : "the sound server did not answer";
    pa_threaded_mainloop_unlock(s->loop);
    Free(s);
    return nullptr;
  }
  s->open = true;
  pa_threaded_mainloop_unlock(s->loop);
  return s;
}

void Prepare(void* state, const WaveOutBlock& block) {
  PulseStream& s = Of(state);
  pa_threaded_mainloop_lock(s.loop);
  s.data = block.data;
  s.length = block.bytes;
  s.written = 0;
  s.draining = false;
  s.finished = false;
  // Fill what the server has room for now, so that the sound starts the moment it is uncorked.
  if (pa_stream_get_state(s.stream) == PA_STREAM_READY) OnWritable(s.stream, pa_stream_writable_size(s.stream), &s);
  pa_threaded_mainloop_unlock(s.loop);
}

void Write(void* state) {
  PulseStream& s = Of(state);
  pa_threaded_mainloop_lock(s.loop);
  if (pa_operation* o = pa_stream_cork(s.stream, 0, nullptr, nullptr)) pa_operation_unref(o);
  pa_threaded_mainloop_unlock(s.loop);
}

void Close(void* state) { Free(&Of(state)); }

WaveOutProgress Position(void* state) {
  PulseStream& s = Of(state);
  pa_threaded_mainloop_lock(s.loop);
  pa_usec_t usec = 0;
  if (pa_stream_get_state(s.stream) == PA_STREAM_READY && pa_stream_get_time(s.stream, &usec) == 0)
    s.played = static_cast<std::uint32_t>(std::min<double>(s.length, usec / 1e6 * s.bytes_per_second));
  const WaveOutProgress p = {s.played, s.finished};
  pa_threaded_mainloop_unlock(s.loop);
  return p;
}

}  // namespace

const WaveOutBackend kPulseWaveOut = {Open, Prepare, Write, Close, Position};
