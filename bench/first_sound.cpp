// wave-first-sound: how long after its start a program is first heard, through a private
// PulseAudio of its own with one null sink at 44,100 Hz. Each run records the sink's monitor, starts
// the command (standard input a pipe that stays open, so a player waits in its prompt), and takes
// the moment its first non-zero sample reaches the monitor: the time of the read that brought it,
// less the recording's latency and the samples after it in that read. A COMMAND that begins with
// '=' is timed instead as a whole process, from its start to its exit, with the file its last word
// names removed first (wave-export FILE, say), so that it is measured in the same turns. The commands take turns, A B C A B C …; each is ended (its
// input closed, then SIGTERM) before the next starts.
//
//   wave-first-sound RUNS COMMAND [COMMAND]...      (each COMMAND one string, split at spaces)
//
// Prints each command's median, minimum and maximum in milliseconds. What the server and the
// recording add is the same for every command: compare them with each other, not with zero.
#include <pulse/error.h>
#include <pulse/simple.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "pulse_server.h"

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 44100;
constexpr std::size_t kReadFrames = 44;  // a millisecond per read

std::vector<std::string> Words(const std::string& command) {
  std::istringstream in(command);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (!words.empty() && words[0].find('/') == std::string::npos) words[0] = Which(words[0]);
  return words;
}

// One run of argv; milliseconds from its start to its first sound, or a negative value if none
// came within the time allowed.
double FirstSound(const PulseServer& server, const std::vector<std::string>& argv) {
  std::string socket;
  for (const auto& [name, value] : server.ClientEnv())
    if (name == "PULSE_SERVER") socket = value;
  const pa_sample_spec spec = {PA_SAMPLE_S16LE, kRate, 1};
  pa_buffer_attr attr;
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.fragsize = kReadFrames * 2;
  attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
  int error = 0;
  pa_simple* rec = pa_simple_new(socket.c_str(), "first-sound", PA_STREAM_RECORD, "a.monitor", "monitor", &spec,
                                 nullptr, &attr, &error);
  if (!rec) {
    std::fprintf(stderr, "wave-first-sound: cannot record: %s\n", pa_strerror(error));
    std::exit(1);
  }
  std::int16_t chunk[kReadFrames];
  // A tenth of a second of the monitor's silence first: from then on it streams steadily.
  for (int i = 0; i < 100; ++i) pa_simple_read(rec, chunk, sizeof chunk, &error);

  ProcessOptions options{argv, server.ClientEnv(), {"DISPLAY", "WAYLAND_DISPLAY", "SDL_AUDIODRIVER"}, Input::Pipe};
  const auto start = Clock::now();
  Process program(options);
  double ms = -1;
  while (Clock::now() - start < 10s) {
    if (pa_simple_read(rec, chunk, sizeof chunk, &error) < 0) break;
    const auto read_at = Clock::now();
    const auto first = std::find_if(std::begin(chunk), std::end(chunk), [](std::int16_t s) { return s != 0; });
    if (first == std::end(chunk)) continue;
    const double latency_us = static_cast<double>(pa_simple_get_latency(rec, &error));
    const double after_us = 1e6 * static_cast<double>(std::end(chunk) - first) / kRate;
    ms = std::chrono::duration<double, std::milli>(read_at - start).count() - (latency_us + after_us) / 1000;
    break;
  }
  pa_simple_free(rec);
  program.CloseInput();
  if (!program.Wait(2s)) program.Signal(SIGTERM);
  program.Wait(5s);
  return ms;
}

// Milliseconds from start to exit of argv; its last word, the file it writes, removed first.
double WholeProcess(const PulseServer& server, const std::vector<std::string>& argv) {
  std::remove(argv.back().c_str());
  ProcessOptions options{argv, server.ClientEnv(), {"DISPLAY", "WAYLAND_DISPLAY"}, Input::DevNull};
  const auto start = Clock::now();
  Process program(options);
  if (!program.Wait(30s)) return -1;
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Run(const PulseServer& server, const std::string& command) {
  return command[0] == '=' ? WholeProcess(server, Words(command.substr(1))) : FirstSound(server, Words(command));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wave-first-sound RUNS COMMAND [COMMAND]...\n");
    return 2;
  }
  if (!PulseServer::Available()) {
    std::fprintf(stderr, "wave-first-sound: %s\n", PulseServer::kMissing);
    return 1;
  }
  const int runs = std::atoi(argv[1]);
  PulseServer server;
  if (!server.ready()) {
    std::fprintf(stderr, "wave-first-sound: the private PulseAudio did not start\n");
    return 1;
  }
  const std::vector<std::string> commands(argv + 2, argv + argc);
  std::vector<std::vector<double>> times(commands.size());
  for (const auto& c : commands) Run(server, c);  // a warm-up each: caches, the server's first client
  for (int r = 0; r < runs; ++r)
    for (std::size_t c = 0; c < commands.size(); ++c) times[c].push_back(Run(server, commands[c]));
  for (std::size_t c = 0; c < commands.size(); ++c) {
    auto& t = times[c];
    std::sort(t.begin(), t.end());
    const auto silent = std::count_if(t.begin(), t.end(), [](double v) { return v < 0; });
    std::printf("  %-40s median %6.1f ms  (min %6.1f, max %6.1f, %zu runs%s)\n", argv[c + 2], t[t.size() / 2],
                t.front(), t.back(), t.size(), silent ? ", some never heard" : "");
  }
  return 0;
}
