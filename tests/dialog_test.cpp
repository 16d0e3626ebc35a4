// The player's desktop dialog, on a virtual display of the test's own.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "player_fixture.h"
#include "process.h"
#include "virtual_display.h"

using namespace std::chrono_literals;

namespace {

using namespace player_test;

TEST_F(Player, ADialogThatCannotShowFallsBackToStandardInput) {
  auto options = Options(Input::DevNull, false);
  options.set_env.emplace_back("DISPLAY", ":987");  // no X server there
  Process wave(options);
  ASSERT_TRUE(wave.Wait(120s));
  EXPECT_EQ(wave.exit_code(), 0);
  EXPECT_EQ(wave.Stdout(), kLines);
  EXPECT_EQ(wave.Stderr().find("zenity"), std::string::npos) << wave.Stderr();
  EXPECT_NE(wave.Stderr().find("wave: cannot show the dialog (cannot open display :987)"), std::string::npos)
      << wave.Stderr();
  ExpectWholeBlockCaptured();
}

TEST_F(Player, EndingSignalsEndTheDialogsHelperProcess) {
  const fs::path bin = capture_ + ".bin";
  fs::create_directories(bin);
  std::ofstream(bin / "zenity") << "#!/bin/sh\necho $$ > \"$0.pid\"\nexec sleep 300\n";
  fs::permissions(bin / "zenity", fs::perms::owner_all);
  auto options = Options(Input::Pipe, true);
  options.set_env.insert(options.set_env.end(), {{"WAYLAND_DISPLAY", "wayland-test-none"},
                                                 {"PATH", bin.string() + ":" + std::getenv("PATH")}});
  Process wave(options);
  ASSERT_TRUE(WaitFor([&] { return !ReadFile(bin / "zenity.pid").empty() || wave.Wait(0s); }, 120s))
      << "the dialog's helper never started";
  const pid_t helper = std::stoi(ReadFile(bin / "zenity.pid"));
  wave.Signal(SIGTERM);
  EXPECT_TRUE(wave.Wait(1s)) << "still running a second after SIGTERM";
  ASSERT_TRUE(wave.Wait(10s));
  EXPECT_EQ(wave.exit_code(), 0);
  const auto gone = [&] {  // or ended and not yet collected by its new parent
    const std::string stat = ReadFile("/proc/" + std::to_string(helper) + "/stat");
    return stat.empty() || stat.find(") Z ") != std::string::npos;
  };
  EXPECT_TRUE(WaitFor(gone, 2s)) << "the helper outlived the player";
  ::kill(helper, SIGKILL);
  fs::remove_all(bin);
}

// With standard input closed, the descriptor must not go to the sound server's connection, whose
// wake-up bytes the prompt would read as a typed line.
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

namespace {

// Ends a run on a virtual display once its dialog shows; returns how much the dialog drew.
class DesktopDialog : public Player {
 protected:
  void SetUp() override {
    if (!VirtualDisplay::Available()) GTEST_SKIP() << VirtualDisplay::kMissing;
    display_ = std::make_unique<VirtualDisplay>();
    ASSERT_FALSE(display_->name().empty()) << "Xvfb did not start";
  }

  // The player with its dialog up; window_ names the dialog.
  std::unique_ptr<Process> Start(const std::vector<std::pair<std::string, std::string>>& env) {
    auto options = Options(Input::Pipe, true);
    options.set_env.emplace_back("DISPLAY", display_->name());
    options.set_env.insert(options.set_env.end(), env.begin(), env.end());
    options.unset_env.insert(options.unset_env.end(), {"LANG", "LC_ALL", "LC_CTYPE"});
    auto wave = std::make_unique<Process>(options);
    const bool shown = WaitFor([&] { return !(window_ = display_->FindWindow("Wave")).empty() || wave->Wait(0s); }, 120s);
    EXPECT_TRUE(shown && !window_.empty()) << "no dialog; wave said: " << wave->Stderr();
    return wave;
  }

  std::unique_ptr<VirtualDisplay> display_;
  std::string window_;
};

TEST_F(DesktopDialog, ShowsTheSentenceWhateverTheLocale) {
  long ink_utf8 = 0;
  for (const std::string locale : {"C.UTF-8", "C", ""}) {
    auto wave = Start(locale.empty() ? std::vector<std::pair<std::string, std::string>>{}
                                     : std::vector<std::pair<std::string, std::string>>{{"LC_ALL", locale}});
    if (window_.empty()) return;
    std::this_thread::sleep_for(500ms);  // drawn
    const long ink = display_->InkPixels(window_);
    if (locale == "C.UTF-8") {
      ink_utf8 = ink;
    } else {
      EXPECT_GT(ink, ink_utf8 * 9 / 10) << "locale '" << locale << "' drew " << ink << " pixels, UTF-8 " << ink_utf8;
    }
    display_->PressReturn(window_);
    ASSERT_TRUE(wave->Wait(10s));
  }
  EXPECT_GT(ink_utf8, 0);
}

TEST_F(DesktopDialog, EndingSignalsTakeTheDialogAway) {
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    auto wave = Start({});
    if (window_.empty()) return;
    const auto start = std::chrono::steady_clock::now();
    wave->Signal(signal);
    ASSERT_TRUE(wave->Wait(10s));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("signal %d ended the run in %lld ms\n", signal, static_cast<long long>(took.count()));
    // The sanitizers' leak check at exit takes its own second.
    EXPECT_LE(took, kSanitized ? 4s : 2s) << "signal " << signal;
    EXPECT_EQ(wave->exit_code(), 0);
    EXPECT_EQ(wave->Stdout(), kLines);
    EXPECT_TRUE(WaitFor([&] { return display_->FindWindow("Wave").empty(); }, 2s)) << "the dialog stayed";
  }
}

}  // namespace
