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
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/wave_out/wave_out_backend.h"

namespace {

// The server holds this much of the block ahead of what it plays. Nothing is computed while the
// block plays, so a large buffer costs nothing but memory in the server, and it rides out a busy
// machine that keeps the feeding thread waiting (46 ms broke up beside two CPU hogs). Playback
// starts as soon as the first two seconds are handed over, which takes a few milliseconds.
constexpr pa_usec_t kAheadUsec = 2'000'000;
// How long the server may take to answer, from the moment the connection is begun.
constexpr int kAnswerSeconds = 3;

struct PulseStream {
  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;
  pa_time_event* deadline = nullptr;
  pa_sample_spec spec{};
  std::uint32_t bytes_per_second = 0;
  bool timed_out = false;
  bool open = false;  // set once the stream is ready: later failures are reported
  bool output_removed = false;  // the server moved the stream to its stand-in for no output
  // Fed on the loop's thread, under its lock.
  const unsigned char* data = nullptr;
  std::uint32_t length = 0;
  std::uint32_t written = 0;
  bool draining = false;
  std::uint32_t played = 0;  // last known position
  std::atomic<bool> finished{false};
};

// The connection begun by Reach, waiting for Open.
PulseStream* reached = nullptr;

PulseStream& Of(void* state) { return *static_cast<PulseStream*>(state); }

const char* ContextError(const PulseStream& s) { return pa_strerror(pa_context_errno(s.context)); }

// The sound has stopped for good: the stream or the connection failed, or the server killed the
// stream (its sink went away) or moved it to no output. Nothing more will play; the run goes on to
// the prompt's end.
void Lost(PulseStream& s) {
  if (s.finished.exchange(true) || !s.open) return;
  if (s.output_removed || pa_context_errno(s.context) == PA_ERR_KILLED)
    std::fprintf(stderr, "wave: the sound stopped: the sound server removed its output\n");
  else
    std::fprintf(stderr, "wave: the sound stopped: %s\n", ContextError(s));
}

void OnStreamState(pa_stream* p, void* user) {
  PulseStream& s = Of(user);
  const pa_stream_state_t state = pa_stream_get_state(p);
  if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) Lost(s);
  pa_threaded_mainloop_signal(s.loop, 0);  // Open may be waiting for the stream to settle
}

// The name both servers give the sink that stands in when there is no output: PulseAudio's
// module-always-sink, and PipeWire's dummy driver, to which it moves the streams of a sink that
// goes away. Moved there, the stream plays into nothing: it is ended, as PulseAudio ends the
// stream of a sink that goes away where it has no such stand-in.
constexpr const char* kNoOutputSink = "auto_null";

void OnMoved(pa_stream* p, void* user) {
  PulseStream& s = Of(user);
  const char* sink = pa_stream_get_device_name(p);
  if (!s.open || !sink || std::strcmp(sink, kNoOutputSink) != 0) return;
  s.output_removed = true;
  pa_stream_disconnect(p);  // its state becomes terminated: Lost says so
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

// Once the server has answered: the stream, corked, so that nothing plays before the block is
// written. On the loop's thread.
void ConnectStream(PulseStream& s) {
  s.stream = pa_stream_new(s.context, "Wave", &s.spec, nullptr);
  if (!s.stream) return;
  pa_stream_set_state_callback(s.stream, OnStreamState, &s);
  pa_stream_set_write_callback(s.stream, OnWritable, &s);
  pa_stream_set_moved_callback(s.stream, OnMoved, &s);
  pa_buffer_attr attr;
  attr.maxlength = attr.prebuf = attr.minreq = attr.fragsize = static_cast<std::uint32_t>(-1);
  attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kAheadUsec, &s.spec));
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                                     PA_STREAM_AUTO_TIMING_UPDATE);
  pa_stream_connect_playback(s.stream, nullptr, &attr, flags, nullptr, nullptr);  // failure shows in its state
}

void OnContextState(pa_context* c, void* user) {
  PulseStream& s = Of(user);
  const pa_context_state_t state = pa_context_get_state(c);
  if (state == PA_CONTEXT_READY && !s.stream) ConnectStream(s);
  if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) Lost(s);
  pa_threaded_mainloop_signal(s.loop, 0);
}

void OnDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* user) {
  PulseStream& s = Of(user);
  s.timed_out = true;
  pa_threaded_mainloop_signal(s.loop, 0);
}

void Free(PulseStream* s) {
  if (s->loop) pa_threaded_mainloop_lock(s->loop);
  if (s->deadline) pa_threaded_mainloop_get_api(s->loop)->time_free(s->deadline);
  if (s->stream) {
    pa_stream_set_state_callback(s->stream, nullptr, nullptr);
    pa_stream_set_write_callback(s->stream, nullptr, nullptr);
    pa_stream_set_moved_callback(s->stream, nullptr, nullptr);
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

// Begins the connection and the stream for format; the loop's thread carries them on. Null, with
// why, where that cannot even begin.
PulseStream* Begin(const WaveOutFormat& format, std::string& why) {
  auto* s = new PulseStream;
  s->spec = {PA_SAMPLE_S16LE, format.sample_rate, static_cast<std::uint8_t>(format.channels)};
  s->bytes_per_second = format.bytes_per_second;
  s->loop = pa_threaded_mainloop_new();
  if (!s->loop || !(s->context = pa_context_new(pa_threaded_mainloop_get_api(s->loop), "Wave"))) {
    why = "cannot start libpulse";
    Free(s);
    return nullptr;
  }
  pa_context_set_state_callback(s->context, OnContextState, s);
  timeval at;
  pa_timeval_add(pa_gettimeofday(&at), pa_usec_t{kAnswerSeconds} * PA_USEC_PER_SEC);
  s->deadline = pa_threaded_mainloop_get_api(s->loop)->time_new(pa_threaded_mainloop_get_api(s->loop), &at, OnDeadline, s);
  // No server is started for us: a desktop that has one runs it already.
  if (pa_context_connect(s->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(s->loop) < 0) {
    why = ContextError(*s);
    Free(s);
    return nullptr;
  }
  return s;
}

bool Reach(const WaveOutFormat& format) {
  std::string why;
  if (reached) return false;
  reached = Begin(format, why);  // a failure here is found again, and told, by Open
  return reached != nullptr;
}

void* Open(const WaveOutFormat& format, WaveOutAttempt& attempt) {
  std::string& why = attempt.why;
  PulseStream* s = reached;
  reached = nullptr;
  if (s && (s->spec.rate != format.sample_rate || s->spec.channels != format.channels)) {
    Free(s);
    s = nullptr;
  }
  if (!s && !(s = Begin(format, why))) return nullptr;
  pa_threaded_mainloop_lock(s->loop);
  // Until the stream is ready, or the connection or the stream has failed, or the time is up.
  const auto settled = [&] {
    if (s->timed_out || !PA_CONTEXT_IS_GOOD(pa_context_get_state(s->context))) return true;
    if (!s->stream) return pa_context_get_state(s->context) == PA_CONTEXT_READY;  // it could not be made
    const pa_stream_state_t p = pa_stream_get_state(s->stream);
    return p == PA_STREAM_READY || !PA_STREAM_IS_GOOD(p);
  };
  while (!settled()) pa_threaded_mainloop_wait(s->loop);
  if (!s->stream || pa_stream_get_state(s->stream) != PA_STREAM_READY) {
    if (pa_context_errno(s->context)) {
      why = ContextError(*s);
    } else {
      why = "the sound server did not answer in " + std::to_string(kAnswerSeconds) + " s";
      attempt.server_silent = true;
    }
    pa_threaded_mainloop_unlock(s->loop);
    Free(s);
    return nullptr;
  }
  pa_threaded_mainloop_get_api(s->loop)->time_free(s->deadline);
  s->deadline = nullptr;
  s->open = true;
  pa_threaded_mainloop_unlock(s->loop);
  return s;
}

void Prepare(void* state, const WaveOutHeader& header) {
  PulseStream& s = Of(state);
  pa_threaded_mainloop_lock(s.loop);
  s.data = header.data;
  s.length = header.bytes;
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

const WaveOutBackend kPulseWaveOut = {"pulse", Reach, Open, Prepare, Write, Close, Position};
