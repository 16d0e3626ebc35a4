// The player's desktop dialog, on a virtual display of the test's own.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "player_fixture.h"
#include "process.h"
#include "socket_server.h"
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
  EXPECT_NE(wave.Stderr().find("wave: cannot show the dialog (cannot open display ':987')"), std::string::npos)
      << wave.Stderr();
  ExpectWholeBlockCaptured();
}

TEST_F(Player, EndingSignalsEndTheDialogsHelperProcess) {
  const fs::path bin = capture_ + ".bin";
  fs::create_directories(bin);
  std::ofstream(bin / "zenity") << "#!/bin/sh\necho $$ > \"$0.pid\"\nexec sleep 300\n";
  fs::permissions(bin / "zenity", fs::perms::owner_all);
  // A Wayland display that answers, and no more: zenity is the stand-in's.
  const std::string wayland = capture_ + ".wayland";
  SocketServer compositor(wayland, SocketServer::Reply::Something);
  ASSERT_TRUE(compositor.listening());
  auto options = Options(Input::Pipe, true);
  options.set_env.insert(options.set_env.end(), {{"WAYLAND_DISPLAY", wayland},
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

  void TearDown() override {
    Player::TearDown();
    fs::remove_all(bin_);
  }

  // The player on the virtual display, with a zenity on its PATH that only notes that it was
  // started, and an entry in its environment that everything it starts inherits (tag_).
  ProcessOptions DialogOptions(const std::vector<std::pair<std::string, std::string>>& env = {}) {
    fs::create_directories(bin_);
    std::ofstream(bin_ / "zenity") << "#!/bin/sh\necho started >> \"$0.log\"\nexec sleep 300\n";
    fs::permissions(bin_ / "zenity", fs::perms::owner_all);
    auto options = Options(Input::Pipe, true);
    options.set_env.insert(options.set_env.end(), {{"DISPLAY", display_->name()},
                                                   {"PATH", bin_.string() + ":" + std::getenv("PATH")},
                                                   {tag_.substr(0, tag_.find('=')), tag_.substr(tag_.find('=') + 1)}});
    options.set_env.insert(options.set_env.end(), env.begin(), env.end());
    options.unset_env.insert(options.unset_env.end(), {"LANG", "LC_ALL", "LC_CTYPE"});
    return options;
  }

  // The player with its dialog up; window_ names the dialog.
  std::unique_ptr<Process> Start(const std::vector<std::pair<std::string, std::string>>& env = {}) {
    auto wave = std::make_unique<Process>(DialogOptions(env));
    const bool shown = WaitFor([&] { return !(window_ = display_->FindWindow("Wave")).empty() || wave->Wait(0s); }, 120s);
    EXPECT_TRUE(shown && !window_.empty()) << "no dialog; wave said: " << wave->Stderr();
    return wave;
  }

  // After the player has ended: no dialog on the display, none started in its place, and no
  // process of the run left, within `within`.
  void ExpectNothingLeft(const std::string& after, std::chrono::milliseconds within = 2s) {
    EXPECT_TRUE(WaitFor([&] { return display_->FindWindow("Wave").empty(); }, within)) << "the dialog stayed, " << after;
    EXPECT_TRUE(WaitFor([&] { return ProcessesWithEnvironment(tag_).empty(); }, within))
        << "a process of the run outlived it, " << after;
    EXPECT_EQ(ReadFile(bin_ / "zenity.log"), "") << "zenity was started, " << after;
  }

  std::unique_ptr<VirtualDisplay> display_;
  std::string window_;
  const fs::path bin_ = capture_ + ".bin";
  const std::string tag_ = "WAVE_TEST_RUN=" + capture_;
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

// Gone with the signal, and nothing in its place: no zenity started once SDL's own box is gone.
TEST_F(DesktopDialog, EndingSignalsTakeTheDialogAway) {
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    auto wave = Start();
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
    ExpectNothingLeft("signal " + std::to_string(signal));
  }
}

// However the player ends, also where nothing of it can act (SIGKILL), and also before its
// dialog is up: no dialog outlives it, and none appears after it.
TEST_F(DesktopDialog, EndingSignalsAtAnyMomentLeaveNoDialogBehind) {
  for (const int signal : {SIGKILL, SIGUSR1}) {
    auto wave = Start();
    if (window_.empty()) return;
    wave->Signal(signal);
    ASSERT_TRUE(wave->Wait(10s));
    EXPECT_EQ(wave->exit_code(), 128 + signal);
    ExpectNothingLeft("signal " + std::to_string(signal));
  }
  for (const int ms : {50, 100, 150, 200, 300}) {
    Process wave(DialogOptions());
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    wave.Signal(SIGTERM);
    ASSERT_TRUE(wave.Wait(10s));
    // Ended as OK ends it, or, if it came before the player took the signal, by the signal.
    EXPECT_TRUE(wave.exit_code() == 0 || wave.exit_code() == 128 + SIGTERM) << wave.exit_code();
    // A dialog coming late would be up within a second.
    std::this_thread::sleep_for(1s);
    ExpectNothingLeft("SIGTERM after " + std::to_string(ms) + " ms", 0ms);
  }
}

// Nothing of the toolkit in the player's own process, beside its sound threads: the dialog is a
// process of its own, the player's child, and only that process's family speaks to the display.
// (wchan names what a thread waits in, where the kernel tells: to root, or with kallsyms open.)
TEST_F(DesktopDialog, IsDrawnByAProcessOfItsOwn) {
  if (!Installed("ss")) GTEST_SKIP() << "needs ss to see who speaks to the display (Debian: iproute2)";
  auto wave = Start();
  if (window_.empty()) return;
  // The display server's ends of its connections, and the clients' ends they pair with.
  const std::string socket = "/tmp/.X11-unix/X" + display_->name().substr(1);
  std::set<std::string> clients;
  std::istringstream table(Shell("ss -xn"));
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string type, state, receive, send, local, inode, peer, peer_inode;
    if (fields >> type >> state >> receive >> send >> local >> inode >> peer >> peer_inode &&
        (local == socket || local == "@" + socket) && state == "ESTAB")
      clients.insert(peer_inode);
  }
  const auto holds_a_client = [&](pid_t pid) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
      const std::string target = fs::read_symlink(fd.path(), ec).string();
      if (target.starts_with("socket:[") && clients.count(target.substr(8, target.size() - 9))) return true;
    }
    return false;
  };
  EXPECT_FALSE(holds_a_client(wave->pid())) << "the player itself speaks to the display";
  // Nor does any thread of the player's sit inside the toolkit, waiting for SDL's drawing child
  // as its box does: a thread the player could not end before tearing down what it uses.
  std::error_code ec;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(wave->pid()) + "/task", ec))
    EXPECT_NE(ReadFile(task.path() / "wchan"), "do_wait") << "thread " << task.path().filename() << " waits for a child";
  bool family = false;
  for (const pid_t pid : ProcessesWithEnvironment(tag_)) family = family || (pid != wave->pid() && holds_a_client(pid));
  EXPECT_TRUE(family) << "no process of the dialog's speaks to the display (" << clients.size() << " clients)";
  display_->PressReturn(window_);
  ASSERT_TRUE(wave->Wait(10s));
  EXPECT_EQ(wave->exit_code(), 0);
  ExpectNothingLeft("OK");
}

}  // namespace
