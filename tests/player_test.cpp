// The player through the real binary, with SDL's disk driver standing in for the sound card.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "process.h"
#include "virtual_display.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kWave = WAVE_PATH;
const std::string kLines = "SND_UNIT_NUM = 1800\nRender Track ch[0]\n";
const std::string kSentence = "ぷれいなう : OKを押すと終了します";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

class Player : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove(capture_); }

  // The player on the disk driver, with no desktop; real_time paces the capture like a sound card.
  ProcessOptions Options(Input input, bool real_time) const {
    ProcessOptions o{{kWave}, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", capture_}}, {"DISPLAY", "WAYLAND_DISPLAY"}, input};
    if (!real_time) o.set_env.emplace_back("SDL_DISKAUDIODELAY", "0");
    return o;
  }

  std::uintmax_t CaptureSize() const {
    std::error_code ec;
    const auto size = fs::file_size(capture_, ec);
    return ec ? 0 : size;
  }

  // A run that ended well, printed its two lines, complained of nothing and played the block.
  void ExpectPlayedEverything(Process& wave) const {
    EXPECT_EQ(wave.exit_code(), 0);
    EXPECT_EQ(wave.Stdout(), kLines);
    EXPECT_EQ(wave.Stderr().find("wave:"), std::string::npos) << wave.Stderr();  // SDL notes its disk driver there
    ExpectWholeBlockCaptured();
  }

  void ExpectWholeBlockCaptured() const {
    const std::string capture = ReadFile(capture_);
    EXPECT_EQ(CapturedSongCrc(capture), kSongCrc) << "capture of " << capture.size() << " bytes";
  }

  const std::string capture_ = (fs::temp_directory_path() / ("wave-capture-" + std::to_string(::getpid()) + "-" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".raw"))
                                   .string();
};

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

TEST_F(Player, ADialogThatCannotShowFallsBackToStandardInput) {
  auto options = Options(Input::DevNull, false);
  options.set_env.emplace_back("DISPLAY", ":987");  // no X server there
  Process wave(options);
  ASSERT_TRUE(wave.Wait(120s));
  EXPECT_EQ(wave.exit_code(), 0);
  EXPECT_EQ(wave.Stdout(), kLines);
  EXPECT_NE(wave.Stderr().find("cannot show the dialog"), std::string::npos) << wave.Stderr();
  ExpectWholeBlockCaptured();
}

TEST_F(Player, TerminalPromptShowsTheSentenceAndAMovingPositionUntilEnter) {
  Process wave(Options(Input::Terminal, true));
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

}  // namespace

namespace {

TEST_F(Player, DesktopDialogTitledWaveEndsOnReturn) {
  if (!VirtualDisplay::Available()) GTEST_SKIP() << VirtualDisplay::kMissing;
  VirtualDisplay display;
  ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
  auto options = Options(Input::Pipe, true);
  options.set_env.emplace_back("DISPLAY", display.name());
  Process wave(options);

  std::string window;
  ASSERT_TRUE(WaitFor([&] { return !(window = display.FindWindow("Wave")).empty() || wave.Wait(0s); }, 120s))
      << "no window titled Wave on " << display.name() << "; windows: " << display.WindowList()
      << "; wave said: " << wave.Stderr();
  ASSERT_FALSE(window.empty()) << "wave ended with " << wave.exit_code() << " before showing a window: " << wave.Stderr();
  display.PressReturn(window);
  EXPECT_TRUE(wave.Wait(2s)) << "still running 2 s after Return";
  ASSERT_TRUE(wave.Wait(10s));
  EXPECT_EQ(wave.exit_code(), 0);
  EXPECT_EQ(wave.Stdout(), kLines);
  EXPECT_EQ(display.FindWindow("Wave"), "");
}

}  // namespace
