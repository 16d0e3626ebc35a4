// The 32-bit Windows programs, cross-built, under wine.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "process.h"
#include "test_support.h"
#include "virtual_display.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const fs::path kWindowsDir = WAVE_WINDOWS_DIR;
const std::string kWinePrefix = WAVE_WINE_PREFIX;
const std::string kLines = "SND_UNIT_NUM = 1800\r\nRender Track ch[0]\r\n";

// A Unix path as a Windows program under wine sees it: drive Z: is the root.
std::string WinePath(const fs::path& path) {
  std::string p = "Z:" + path.string();
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}

std::uint32_t DecodedCrc(const fs::path& file) {
  SF_INFO info{};
  SNDFILE* f = sf_open(file.c_str(), SFM_READ, &info);
  if (!f) return 0;
  std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames));
  const auto n = sf_read_short(f, samples.data(), info.frames);
  sf_close(f);
  const bool pcm16_mono = info.channels == 1 && info.samplerate == 44100 &&
                          info.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  return pcm16_mono && n == 7938000 ? Crc32(samples) : 0;
}

// The Windows build is made apart from this one (cmake --preset windows); without it there is
// nothing here to test.
bool WindowsBuildMissing(std::string& why) {
  for (const char* exe : {"wave.exe", "wave-export.exe"}) {
    if (!fs::exists(kWindowsDir / exe)) {
      why = (kWindowsDir / exe).string() + " is missing: build it with cmake --preset windows && cmake --build --preset windows";
      return true;
    }
  }
  return false;
}

TEST(WindowsBuild, ProgramsNeedNoRuntimeBesideWindows) {
  // Statically linked C and C++ runtimes: only DLLs that every Windows has.
  if (std::string why; WindowsBuildMissing(why)) GTEST_SKIP() << why;
  const std::string objdump = "i686-w64-mingw32-objdump";
  ASSERT_TRUE(Installed(objdump)) << "the cross build's binutils are missing";
  for (const char* exe : {"wave.exe", "wave-export.exe"}) {
    std::istringstream dlls(Shell(objdump + " -p '" + (kWindowsDir / exe).string() + "' | sed -n 's/^\\s*DLL Name: //p'"));
    std::vector<std::string> names;
    for (std::string name; std::getline(dlls, name);) {
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      names.push_back(name);
    }
    ASSERT_FALSE(names.empty()) << exe;
    for (const auto& name : names)
      EXPECT_TRUE(name == "kernel32.dll" || name == "msvcrt.dll" || name == "user32.dll" || name == "winmm.dll")
          << exe << " imports " << name;
  }
}

// One wine server runs per prefix, and its desktop takes the display of the first program that
// starts it. So the tests run one at a time (CTest's resource lock) and each begins and ends
// with no server running.
void StopWineServer() { Shell("export WINEPREFIX='" + kWinePrefix + "'; wineserver -k 2>/dev/null; wineserver -w"); }

class Wine : public ::testing::Test {
 protected:
  void SetUp() override {
    wine_ = Shell("command -v wine");
    if (wine_.empty()) GTEST_SKIP() << "wine is not installed, so the Windows programs are not run (./setup.sh test installs it)";
    wine_.pop_back();
    // Debian's wine runs 32-bit programs only with wine32:i386, whose index may have failed to
    // download (setup.sh then warns that these tests are skipped).
    if (fs::exists("/usr/lib/wine/wine64") && !fs::exists("/usr/lib/wine/wine")) {
      wine_.clear();
      GTEST_SKIP() << "wine32 (Debian: wine32:i386) is missing, so the 32-bit Windows programs cannot run";
    }
    if (std::string why; WindowsBuildMissing(why)) {
      wine_.clear();
      GTEST_SKIP() << why;
    }
    StopWineServer();
    dir_ = fs::temp_directory_path() / ("wave-wine-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (wine_.empty()) return;
    StopWineServer();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Runs a Windows program under wine; dll_overrides adds to the defaults (no .NET or HTML
  // engine: their installers would ask questions).
  ProcessOptions Options(const std::string& exe, std::vector<std::string> args, const std::string& display,
                         const std::string& dll_overrides = "") const {
    ProcessOptions o;
    o.argv = {wine_, (kWindowsDir / exe).string()};
    o.argv.insert(o.argv.end(), args.begin(), args.end());
    o.set_env = {{"WINEPREFIX", kWinePrefix}, {"WINEDEBUG", "-all"},
                 {"WINEDLLOVERRIDES", "mscoree,mshtml=" + (dll_overrides.empty() ? "" : ";" + dll_overrides)}};
    if (display.empty())
      o.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
    else
      o.set_env.emplace_back("DISPLAY", display);
    o.input = Input::DevNull;
    return o;
  }

  std::string wine_;
  fs::path dir_;
};

TEST_F(Wine, ExportWritesTheSongAsWav) {
  const fs::path file = dir_ / "tune.wav";
  Process to_file(Options("wave-export.exe", {WinePath(file)}, ""));
  ASSERT_TRUE(to_file.Wait(120s));
  EXPECT_EQ(to_file.exit_code(), 0) << to_file.Stderr();
  EXPECT_EQ(to_file.Stdout(), kLines) << "console lines go through the text stream as CR LF";
  EXPECT_EQ(fs::file_size(file), 44u + kSongBlockBytes);
  EXPECT_EQ(DecodedCrc(file), kSongCrc);

  // To standard output: binary, byte for byte the same file.
  Process to_stdout(Options("wave-export.exe", {"-"}, ""));
  ASSERT_TRUE(to_stdout.Wait(120s));
  EXPECT_EQ(to_stdout.exit_code(), 0);
  EXPECT_EQ(to_stdout.Stderr(), kLines);
  EXPECT_TRUE(to_stdout.Stdout() == ReadFile(file.string())) << "standard output differs from the file";
}

TEST_F(Wine, ExportFailuresLeaveNoFile) {
  for (const std::string& target : {WinePath(dir_ / "missing" / "tune.wav"), WinePath(dir_ / "tune.flac")}) {
    Process p(Options("wave-export.exe", {target}, ""));
    ASSERT_TRUE(p.Wait(120s));
    EXPECT_EQ(p.exit_code(), 1) << target;
    const std::string err = p.Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
  EXPECT_TRUE(fs::is_empty(dir_));
}

class WinePlayer : public Wine {
 protected:
  void SetUp() override {
    Wine::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!VirtualDisplay::Available()) GTEST_SKIP() << VirtualDisplay::kMissing;
    display_ = std::make_unique<VirtualDisplay>();
    ASSERT_FALSE(display_->name().empty()) << "Xvfb did not start";
  }

  // Waits for the message box, presses Return, and expects the program to end well.
  void AnswerThePrompt(Process& wave) {
    std::string window;
    ASSERT_TRUE(WaitFor([&] { return !(window = display_->FindWindow("Wave")).empty() || wave.Wait(0s); }, 120s))
        << "no window titled Wave; windows: " << display_->WindowList();
    ASSERT_FALSE(window.empty()) << "wave.exe ended before its prompt: " << wave.Stderr();
    display_->PressReturn(window);
    ASSERT_TRUE(wave.Wait(30s)) << "Return did not end wave.exe";
    EXPECT_EQ(wave.exit_code(), 0);
    EXPECT_EQ(wave.Stdout(), kLines);
  }

  std::unique_ptr<VirtualDisplay> display_;
};

TEST_F(WinePlayer, WithoutAudioDeviceShowsThePromptAndEndsOnReturn) {
  // No audio driver at all: waveOutOpen fails.
  Process wave(Options("wave.exe", {}, display_->name(), "winealsa.drv,winepulse.drv=d"));
  AnswerThePrompt(wave);
  const std::string err = wave.Stderr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(err.rfind("wave: no sound: ", 0), 0u) << err;
}

TEST_F(WinePlayer, PlaysTheBlockThroughWaveOut) {
  // An ALSA device of our own that writes whatever is played to a file, and no PulseAudio.
  const fs::path capture = dir_ / "played.raw";
  const fs::path config = dir_ / "alsa.conf";
  std::ofstream(config) << "pcm.!default { type file; slave.pcm { type null }; file \"" << capture.string()
                        << "\"; format \"raw\" }\n";
  auto options = Options("wave.exe", {}, display_->name(), "winepulse.drv=d");
  options.set_env.emplace_back("ALSA_CONFIG_PATH", config.string());
  Process wave(options);

  auto size = [&] {
    std::error_code ec;
    const auto n = fs::file_size(capture, ec);
    return ec ? 0 : n;
  };
  ASSERT_TRUE(WaitFor([&] { return size() > kSongBlockBytes + 64 * 1024 || wave.Wait(0s); }, 300s))
      << "only " << size() << " bytes played";
  AnswerThePrompt(wave);
  EXPECT_EQ(wave.Stderr(), "");
  EXPECT_EQ(CapturedSongCrc(ReadFile(capture.string())), kSongCrc);
}

}  // namespace
