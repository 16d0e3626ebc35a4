// The player through the real binary, with SDL's disk driver standing in for the sound card.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <signal.h>
#include <unistd.h>

#include "player_fixture.h"
#include "process.h"
#include "pulse_server.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using namespace player_test;

TEST_F(Player, PlaysTheWholeBlockUntilALineDismissesThePrompt) {
  Process wave(Options(Input::Pipe, false));
  ASSERT_TRUE(WaitFor([&] { return CaptureSize() > kSongBlockBytes + 256 * 1024; }, 120s)) << "only " << CaptureSize() << " bytes captured";
  wave.Type("\n");
  ASSERT_TRUE(wave.Wait(10s));
  ExpectPlayedEverything(wave);
}

TEST_F(Player, DismissedAtOnceEndsWithinASecond) {
  Process wave(Options(Input::Pipe, true));
  ASSERT_TRUE(WaitFor([&] { return CaptureSize() > 0; }, 120s)) << "playback never started";
  wave.Type("ok\n");
  EXPECT_TRUE(wave.Wait(1s)) << "still running a second after OK";
  ASSERT_TRUE(wave.Wait(10s));
  EXPECT_EQ(wave.exit_code(), 0);
  EXPECT_EQ(wave.Stdout(), kLines);
  EXPECT_LT(CaptureSize(), kSongBlockBytes / 4);
}

TEST_F(Player, AtEndOfInputPlaysTheBlockToItsEndAndExits) {
  Process wave(Options(Input::DevNull, false));
  ASSERT_TRUE(wave.Wait(120s));
  ExpectPlayedEverything(wave);
}

TEST_F(Player, PeakMemoryStaysWithin72MiB) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' shadow memory inflates the resident size";
  if (kEmulator) GTEST_SKIP() << "the player runs under " << kEmulator << ", whose own memory would be measured";
  Process wave(Options(Input::DevNull, false));
  ASSERT_TRUE(wave.Wait(120s));
  EXPECT_EQ(wave.exit_code(), 0);
  EXPECT_LE(wave.peak_rss_kib(), 72 * 1024);
  RecordProperty("peak_rss_kib", std::to_string(wave.peak_rss_kib()));
  std::printf("peak resident memory: %ld KiB\n", wave.peak_rss_kib());
}

TEST_F(Player, AnswersHelpAndVersionAndRefusesUsageErrorsWithoutPlaying) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--help"}, "usage: wave"}, {{"--version"}, "wave 1.0\n"}, {{"--loud"}, ""}, {{"tune.wav"}, ""}};
  for (const auto& [args, answer] : cases) {
    auto options = Options(Input::Pipe, false);
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    Process wave(options);
    ASSERT_TRUE(wave.Wait(10s)) << args[0] << ": it waits, as if playing";
    EXPECT_EQ(wave.exit_code(), answer.empty() ? 2 : 0) << args[0];
    if (answer.empty()) {
      EXPECT_EQ(wave.Stdout(), "") << args[0];
      EXPECT_EQ(wave.Stderr().rfind("wave: ", 0), 0u) << wave.Stderr();
      EXPECT_NE(wave.Stderr().find("\nusage: wave"), std::string::npos) << wave.Stderr();
    } else {
      EXPECT_EQ(wave.Stdout().rfind(answer, 0), 0u) << wave.Stdout();
      EXPECT_EQ(wave.Stderr(), "");
    }
  }
  EXPECT_EQ(CaptureSize(), 0u) << "something was played";
}

TEST_F(Player, PlaysTheNotesOfAFileAndRefusesBadOnesWithoutPlaying) {
  auto options = Options(Input::DevNull, false);
  options.argv.insert(options.argv.end(), {"--notes", WAVE_EXAMPLE_SONG});
  Process wave(options);
  ASSERT_TRUE(wave.Wait(120s));
  ExpectPlayedEverything(wave);

  fs::remove(capture_);
  const std::string bad = capture_ + ".txt";
  std::ofstream(bad) << "66 - off 256";
  options.argv.back() = bad;
  Process refused(options);
  ASSERT_TRUE(refused.Wait(10s));
  EXPECT_EQ(refused.exit_code(), 2);
  EXPECT_EQ(refused.Stdout(), "");
  EXPECT_NE(refused.Stderr().find(": line 1, column 10: value 256 is not a byte\n"), std::string::npos) << refused.Stderr();
  EXPECT_EQ(CaptureSize(), 0u) << "something was played";
  fs::remove(bad);
}

TEST_F(Player, WithoutADeviceTheRunGoesOnSilentlyWithOneLineWhy) {
  // A driver SDL does not have, and ALSA with no card configured (which on its own would print
  // its every failed try).
  const std::string empty_alsa_config = capture_ + ".alsa.conf";
  std::ofstream(empty_alsa_config).close();
  const std::vector<std::vector<std::pair<std::string, std::string>>> setups = {
      {{"SDL_AUDIODRIVER", "no-such-driver"}},
      {{"SDL_AUDIODRIVER", "alsa"}, {"ALSA_CONFIG_PATH", empty_alsa_config}}};
  for (const auto& env : setups) {
    auto options = Options(Input::DevNull, false);
    options.set_env.insert(options.set_env.end(), env.begin(), env.end());
    Process wave(options);
    ASSERT_TRUE(wave.Wait(60s)) << "waited although there is nothing playing";
    EXPECT_EQ(wave.exit_code(), 0);
    EXPECT_EQ(wave.Stdout(), kLines);
    const std::string err = wave.Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("wave: no sound: ", 0), 0u) << err;
    EXPECT_NE(err.find(env[0].second == "alsa" ? "ALSA" : "no-such-driver"), std::string::npos) << "SDL's reason: " << err;
  }
  fs::remove(empty_alsa_config);
  EXPECT_EQ(CaptureSize(), 0u);
}

TEST_F(Player, WithEveryBackendRefusedTheLineGivesEachOnesReason) {
  // No sound server to reach, no ALSA card, no PipeWire: libpulse and SDL both refuse.
  const fs::path dir = capture_ + ".run";
  fs::create_directories(dir);
  std::ofstream(dir / "alsa.conf").close();
  const std::vector<std::pair<std::string, std::string>> nowhere = {
      {"PULSE_SERVER", "unix:" + (dir / "no-server").string()}, {"XDG_RUNTIME_DIR", dir.string()},
      {"ALSA_CONFIG_PATH", (dir / "alsa.conf").string()}};
  const std::pair<std::vector<std::pair<std::string, std::string>>, std::string> cases[] = {
      {nowhere, "cannot open the audio device: pulse: Connection refused; sdl: "},
      {{{"WAVE_AUDIO", "bogus"}}, "WAVE_AUDIO=bogus, which this build does not have (it has "}};
  for (const auto& [env, want] : cases) {
    Process wave({{kWave}, env, {"DISPLAY", "WAYLAND_DISPLAY", "SDL_AUDIODRIVER"}, Input::DevNull});
    ASSERT_TRUE(wave.Wait(60s)) << "waited although there is nothing playing";
    EXPECT_EQ(wave.exit_code(), 0);
    const std::string err = wave.Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("wave: no sound: ", 0), 0u) << err;
    EXPECT_NE(err.find(want), std::string::npos) << err;
  }
  fs::remove_all(dir);
}

TEST_F(Player, TerminalPromptShowsTheSentenceAndAMovingPositionUntilEnter) {
  auto options = Options(Input::Terminal, true);
  options.set_env.emplace_back("LC_ALL", "C.UTF-8");
  Process wave(options);
  auto shown = [&](const std::string& text) { return wave.TerminalOutput().find(text) != std::string::npos; };
  ASSERT_TRUE(WaitFor([&] { return shown("[OK]"); }, 120s)) << wave.TerminalOutput();
  EXPECT_TRUE(shown(kSentence));
  EXPECT_TRUE(shown("SND_UNIT_NUM = 1800\r\nRender Track ch[0]\r\n")) << wave.TerminalOutput();
  // The position is redrawn in place and moves on: a later one than the first shown appears.
  const auto latest_second = [&] {
    const std::string& out = wave.TerminalOutput();
    const auto at = out.rfind(" / 3:00");
    if (at == std::string::npos || at < 4) return -1;
    const int minutes = out[at - 4] - '0', tens = out[at - 2] - '0', ones = out[at - 1] - '0';
    return minutes * 60 + tens * 10 + ones;
  };
  ASSERT_TRUE(WaitFor([&] { return latest_second() >= 0; }, 5s)) << "no position shown: " << wave.TerminalOutput();
  const int first = latest_second();
  EXPECT_TRUE(WaitFor([&] { return latest_second() > first; }, 5s)) << "the position stayed at " << first << " s";
  wave.Type("\r");
  ASSERT_TRUE(wave.Wait(2s)) << "Enter did not end the run";
  EXPECT_EQ(wave.exit_code(), 0);
}

TEST_F(Player, ConsoleLinesReachAFileAsTheyArePrinted) {
  Process wave(Options(Input::Pipe, true));
  EXPECT_TRUE(WaitFor([&] { return wave.Stdout() == kLines || wave.Wait(0s); }, 60s)) << wave.Stdout();
  EXPECT_FALSE(wave.Wait(0s)) << "the lines must be there while the tune plays";
  wave.Type("\n");
  ASSERT_TRUE(wave.Wait(10s));
  EXPECT_EQ(wave.Stdout(), kLines);

  // Both streams into one log: the lines come before the report that follows them.
  const std::string log = capture_ + ".log";
  auto options = Options(Input::DevNull, false);
  options.argv = {"/bin/sh", "-c", "exec \"$0\" >\"$1\" 2>&1", kWave, log};
  options.set_env.emplace_back("SDL_AUDIODRIVER", "no-such-driver");
  Process silent(options);
  ASSERT_TRUE(silent.Wait(60s));
  EXPECT_EQ(ReadFile(log).rfind(kLines + "wave: no sound: ", 0), 0u) << ReadFile(log);
  fs::remove(log);
}

TEST_F(Player, EndingSignalsEndTheRunAsOKDoes) {
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    fs::remove(capture_);
    Process wave(Options(Input::Pipe, true));
    ASSERT_TRUE(WaitFor([&] { return CaptureSize() > 0; }, 120s)) << "playback never started";
    wave.Signal(signal);
    EXPECT_TRUE(wave.Wait(1s)) << "still running a second after signal " << signal;
    ASSERT_TRUE(wave.Wait(10s));
    EXPECT_EQ(wave.exit_code(), 0) << "signal " << signal;
    EXPECT_EQ(wave.Stdout(), kLines);
    EXPECT_LT(CaptureSize(), kSongBlockBytes / 4);
  }
}

TEST_F(Player, TerminalPromptIsDrawnOnTheControllingTerminal) {
  // Standard error to a log; the prompt must still show on the terminal, and not in the log.
  const std::string log = capture_ + ".stderr";
  auto options = Options(Input::Terminal, true);
  options.argv = {"/bin/sh", "-c", "exec \"$0\" 2>\"$1\"", kWave, log};
  options.set_env.emplace_back("LC_ALL", "C.UTF-8");
  Process wave(options);
  ASSERT_TRUE(WaitFor([&] { return wave.TerminalOutput().find(" / 3:00") != std::string::npos; }, 120s))
      << wave.TerminalOutput();
  EXPECT_NE(wave.TerminalOutput().find(kSentence), std::string::npos);
  wave.Type("\r");
  ASSERT_TRUE(wave.Wait(2s)) << "Enter did not end the run";
  const std::string logged = ReadFile(log);
  fs::remove(log);
  EXPECT_EQ(logged.find("[OK]"), std::string::npos) << logged;
  EXPECT_EQ(logged.find("pureinau"), std::string::npos) << logged;
}

// The sentence in the terminal's own character set where it has the characters, else in plain
// ASCII: never bytes a terminal of another set takes for controls.
TEST_F(Player, TerminalPromptSpeaksTheTerminalsCharacterSet) {
  const std::string locales = capture_ + ".locales";
  fs::create_directories(locales);
  ASSERT_EQ(Shell("localedef -i ja_JP -f EUC-JP '" + locales + "/ja_JP.EUC-JP' >/dev/null 2>&1; echo $?"), "0\n")
      << "localedef could not make an EUC-JP locale (Debian: locales)";
  const std::string euc_jp = Shell("printf '%s' '" + kSentence + "' | iconv -f UTF-8 -t EUC-JP");
  ASSERT_FALSE(euc_jp.empty());
  struct Case {
    std::string locale, expected;
  };
  // The same where a dialog was tried first and could not be shown: what the dialog needs of the
  // locale is not the terminal's.
  for (const bool display : {false, true}) {
    for (const Case& c : {Case{"C", kAsciiSentence}, Case{"POSIX", kAsciiSentence}, Case{"ja_JP.EUC-JP", euc_jp}}) {
      auto options = Options(Input::Terminal, true);
      options.set_env.insert(options.set_env.end(), {{"LC_ALL", c.locale}, {"LOCPATH", locales}});
      if (display) options.set_env.emplace_back("DISPLAY", ":77777");  // nothing there
      Process wave(options);
      ASSERT_TRUE(WaitFor([&] { return wave.TerminalOutput().find("[OK]") != std::string::npos; }, 120s))
          << wave.TerminalOutput();
      wave.Type("\r");
      ASSERT_TRUE(wave.Wait(2s)) << "Enter did not end the run";
      const std::string& out = wave.TerminalOutput();
      const std::string where = c.locale + (display ? " after the dialog" : "") + ": ";
      EXPECT_NE(out.find(c.expected + "\r\n\r[OK]"), std::string::npos) << where << out;
      if (display) {
        EXPECT_NE(out.find("wave: cannot show the dialog (cannot open display ':77777')"), std::string::npos) << out;
      }
      if (c.expected == kAsciiSentence) {
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }))
            << where << out;
      }
    }
  }
  fs::remove_all(locales);
}

// Cut to the terminal's width less a column and redrawn in place, whatever the width and after a
// resize: a line that wrapped would add a line at every redraw, and smear after a resize.
TEST_F(Player, TerminalPromptFitsAnyWidthAndRedrawsInPlaceAfterAResize) {
  auto options = Options(Input::Terminal, true);
  options.set_env.emplace_back("LC_ALL", "C.UTF-8");
  options.terminal_columns = 10;
  Process wave(options);
  const auto redraws = [&](std::size_t from) {
    const std::string& out = wave.TerminalOutput();
    return from < out.size() ? std::count(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), '\r') : 0;
  };
  ASSERT_TRUE(WaitFor([&] { return wave.TerminalOutput().find("\r[OK]") != std::string::npos; }, 120s))
      << wave.TerminalOutput();
  const std::size_t first = wave.TerminalOutput().find("\r[OK]");
  ASSERT_TRUE(WaitFor([&] { return redraws(first) >= 3; }, 5s)) << wave.TerminalOutput();
  const std::size_t narrow_end = wave.TerminalOutput().size();
  wave.Resize(1, 80);  // one row, then as it was but wide
  ASSERT_TRUE(WaitFor([&] { return redraws(narrow_end) >= 2; }, 5s)) << wave.TerminalOutput();
  wave.Resize(24, 80);
  const std::size_t wide_start = wave.TerminalOutput().size();
  ASSERT_TRUE(WaitFor([&] { return redraws(wide_start) >= 2; }, 5s)) << wave.TerminalOutput();
  wave.Type("\r");
  ASSERT_TRUE(wave.Wait(2s)) << "Enter did not end the run";
  const std::string out = wave.TerminalOutput();
  // Every redraw: a carriage return and no more than the width allows; no line break until the
  // Enter's echo.
  const std::size_t echo = out.find('\n', first);
  ASSERT_NE(echo, std::string::npos) << out;
  std::size_t longest_wide = 0;
  for (std::size_t at = first; at < echo;) {
    const std::size_t next = std::min(out.find('\r', at + 1), echo);
    const std::size_t length = next - at - 1;
    EXPECT_LE(length, at < narrow_end ? 9u : 79u) << "a redraw of " << length << " columns: " << out.substr(at, next - at);
    if (at >= wide_start) longest_wide = std::max(longest_wide, length);
    at = next;
  }
  EXPECT_EQ(out.find('\n', echo + 1), std::string::npos) << "more than the echo's line break: " << out.substr(first);
  EXPECT_GE(longest_wide, std::string("[OK]  0:00 / 3:00").size()) << "not redrawn whole once wide: " << out.substr(wide_start);
}

// The console lines are no part of the player's job: a pipe with no reader left ends nothing.
TEST_F(Player, AClosedPipeOnItsOutputEndsNoSound) {
  auto options = Options(Input::Pipe, false);
  options.output = Output::ClosedPipe;
  Process wave(options);
  ASSERT_TRUE(WaitFor([&] { return CaptureSize() > kSongBlockBytes || wave.Wait(0s); }, 120s))
      << "ended with " << wave.exit_code() << " after " << CaptureSize() << " bytes: " << wave.Stderr();
  wave.Type("\n");
  ASSERT_TRUE(wave.Wait(10s));
  EXPECT_EQ(wave.exit_code(), 0);
  EXPECT_EQ(wave.Stderr().find("wave:"), std::string::npos) << wave.Stderr();
  ExpectWholeBlockCaptured();
}

// A runtime folder that is a file, or another user's, which libpulse refuses in every client that
// looks there: one line says so, whatever else happens.
TEST_F(Player, ARuntimeFolderNotOursIsOneLine) {
  const fs::path dir = capture_ + ".runtime";
  fs::create_directories(dir / "home");
  std::ofstream(dir / "a-file").close();
  std::ofstream(dir / "alsa.conf").close();
  std::vector<std::pair<fs::path, std::string>> folders = {{dir / "a-file", "it is not a folder"}};
  if (::geteuid() == 0) {
    fs::create_directories(dir / "others");
    ASSERT_EQ(::chown((dir / "others").c_str(), 65534, 65534), 0);
    folders.emplace_back(dir / "others", "it belongs to another user");
  }
  for (const auto& [folder, why] : folders) {
    // The sound server looked for where libpulse looks by itself, and no ALSA card to fall back on.
    Process wave({{kWave},
                  {{"XDG_RUNTIME_DIR", folder.string()}, {"HOME", (dir / "home").string()},
                   {"ALSA_CONFIG_PATH", (dir / "alsa.conf").string()}},
                  {"DISPLAY", "WAYLAND_DISPLAY", "SDL_AUDIODRIVER", "PULSE_SERVER", "WAVE_AUDIO"},
                  Input::Pipe});
    // The player's own line comes once the output is open, after anything the libraries say.
    EXPECT_TRUE(WaitFor([&] { return wave.Stderr().find("wave: ") != std::string::npos || wave.Wait(0s); }, 60s));
    std::this_thread::sleep_for(200ms);
    wave.Type("\n");
    ASSERT_TRUE(wave.Wait(10s));
    EXPECT_EQ(wave.exit_code(), 0);
    const std::string err = wave.Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("not using XDG_RUNTIME_DIR '" + folder.string() + "': " + why), std::string::npos) << err;
  }
  fs::remove_all(dir);
}

// On Wayland the dialog is zenity, a process of its own: a stand-in that only waits must be gone
// with the player.
TEST_F(Player, ClosedStandardStreamsAreNotTakenByTheSoundServer) {
  if (!PulseServer::Available()) GTEST_SKIP() << PulseServer::kMissing;
  PulseServer server;
  ASSERT_TRUE(server.ready()) << "the private PulseAudio server did not start";
  ProcessOptions options{{"/bin/sh", "-c", "exec \"$0\" <&- >&-", kWave}, server.ClientEnv(),
                         {"DISPLAY", "WAYLAND_DISPLAY"}, Input::DevNull};
  options.set_env.emplace_back("SDL_AUDIODRIVER", "pulseaudio");
  Process wave(options);
  ASSERT_TRUE(WaitFor([&] { return !server.Ctl("list short sink-inputs").empty() || wave.Wait(0s); }, 60s))
      << "never played";
  const std::string fd = "/proc/" + std::to_string(wave.pid()) + "/fd/";
  for (const char* n : {"0", "1"}) EXPECT_EQ(fs::read_symlink(fd + n), "/dev/null") << "descriptor " << n;
  EXPECT_FALSE(wave.Wait(2s)) << "quit at once: " << wave.Stderr();
  wave.Signal(SIGTERM);
  ASSERT_TRUE(wave.Wait(5s));
  EXPECT_EQ(wave.exit_code(), 0);
}

}  // namespace
