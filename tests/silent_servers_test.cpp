// The player against a sound server and displays that take the connection and never answer:
// the prompt must be up and answering within 4 s of the start all the same.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "player_fixture.h"
#include "process.h"
#include "socket_server.h"

using namespace std::chrono_literals;

namespace {

using namespace player_test;
using Clock = std::chrono::steady_clock;

// How each run is ended: a line (OK), the end of input, or SIGTERM, each before the prompt can
// be up, at the time given from the start.
enum class Ending { Line, EndOfInput, Signal };
struct EndingAt {
  Ending ending;
  std::chrono::milliseconds at;
};
constexpr EndingAt kEndings[] = {{Ending::Line, 1000ms}, {Ending::EndOfInput, 1000ms}, {Ending::Signal, 2000ms}};

struct Run {
  std::unique_ptr<Process> wave;
  Clock::duration took;  // from the start until it ended; zero if it did not end within 10 s
};

// Runs the player with options and ends it as `end` says.
Run RunAndEnd(const ProcessOptions& options, EndingAt end) {
  const auto start = Clock::now();
  Run run{std::make_unique<Process>(options), {}};
  std::this_thread::sleep_until(start + end.at);
  if (end.ending == Ending::Line) run.wave->Type("\n");
  if (end.ending == Ending::EndOfInput) run.wave->CloseInput();
  if (end.ending == Ending::Signal) run.wave->Signal(SIGTERM);
  if (run.wave->Wait(10s)) run.took = Clock::now() - start;
  return run;
}

std::string Name(Ending ending) {
  return ending == Ending::Line ? "a line" : ending == Ending::EndOfInput ? "end of input" : "SIGTERM";
}

long long Ms(Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); }

TEST_F(Player, ASilentSoundServerIsGivenUpWithinFourSecondsAndNotAskedAgain) {
  SocketServer server(capture_ + ".pulse", SocketServer::Reply::Never);
  ASSERT_TRUE(server.listening());
  // libpulse first, then SDL, as on a desktop: no driver of SDL's chosen.
  const ProcessOptions options{{kWave},
                               {{"PULSE_SERVER", "unix:" + capture_ + ".pulse"}},
                               {"DISPLAY", "WAYLAND_DISPLAY", "SDL_AUDIODRIVER", "WAVE_AUDIO"},
                               Input::Pipe};
  for (const EndingAt end : kEndings) {
    const int asked_before = server.connections();
    const auto [wave, took] = RunAndEnd(options, end);
    std::printf("ended by %s: %lld ms\n", Name(end.ending).c_str(), Ms(took));
    ASSERT_GT(took, 0s) << "still running 10 s after " << Name(end.ending);
    EXPECT_LT(took, 4s) << "ended by " << Name(end.ending);
    EXPECT_EQ(wave->exit_code(), 0);
    EXPECT_EQ(wave->Stdout(), kLines);
    const std::string err = wave->Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("wave: no sound: cannot open the audio device: pulse: the sound server did not answer in 3 s; "
                        "sdl (skipped pulseaudio, alsa, ", 0), 0u) << err;
    EXPECT_EQ(server.connections() - asked_before, 1) << "the silent server was asked again";
  }
}

// A free display number whose abstract X socket (where Xlib looks first) a silent server takes.
std::unique_ptr<SocketServer> SilentX11Display(int& number) {
  for (number = 900 + ::getpid() % 50; number < 1000; ++number) {
    auto server = std::make_unique<SocketServer>("@/tmp/.X11-unix/X" + std::to_string(number), SocketServer::Reply::Never);
    if (server->listening()) return server;
  }
  return nullptr;
}

TEST_F(Player, ASilentDisplayIsGivenUpWithinFourSecondsForTheTerminalOrInput) {
  int number = 0;
  const auto x11 = SilentX11Display(number);
  ASSERT_TRUE(x11) << "no free display number";
  const std::string wayland_socket = capture_ + ".wayland";
  SocketServer wayland(wayland_socket, SocketServer::Reply::Never);
  ASSERT_TRUE(wayland.listening());
  const std::string display = std::string(":").append(std::to_string(number));
  const std::string x11_silent = "the display '" + display + "' did not answer in 3 s";
  const std::string wayland_silent = "the Wayland display '" + wayland_socket + "' did not answer in 3 s";
  const struct {
    std::vector<std::pair<std::string, std::string>> env;
    std::string why;
  } sessions[] = {{{{"DISPLAY", display}}, x11_silent},
                  {{{"WAYLAND_DISPLAY", wayland_socket}}, wayland_silent},
                  {{{"DISPLAY", display}, {"WAYLAND_DISPLAY", wayland_socket}}, wayland_silent + "; " + x11_silent}};
  for (const auto& session : sessions) {
    // Each display alone with a line; both with every ending.
    for (const EndingAt end : kEndings) {
      if (session.env.size() == 1 && end.ending != Ending::Line) continue;
      // No sound at all, so that at the end of input there is nothing left to wait for.
      ProcessOptions options{{kWave}, session.env, {"DISPLAY", "WAYLAND_DISPLAY", "WAVE_AUDIO"}, Input::Pipe};
      options.set_env.emplace_back("SDL_AUDIODRIVER", "no-such-driver");
      const auto [wave, took] = RunAndEnd(options, end);
      std::printf("%s, ended by %s: %lld ms\n", session.why.c_str(), Name(end.ending).c_str(), Ms(took));
      ASSERT_GT(took, 0s) << session.why << ": still running 10 s after " << Name(end.ending);
      EXPECT_LT(took, 4s) << session.why << ", ended by " << Name(end.ending);
      EXPECT_EQ(wave->exit_code(), 0);
      EXPECT_EQ(wave->Stdout(), kLines);
      // A signal before the prompt is due ends the run before any dialog is tried.
      if (end.ending == Ending::Signal) continue;
      EXPECT_NE(wave->Stderr().find("wave: cannot show the dialog (" + session.why + "); answering here instead\n"),
                std::string::npos)
          << wave->Stderr();
    }
  }
}

}  // namespace
