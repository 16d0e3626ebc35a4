// The Windows programs, cross-built, under wine: the 32-bit build and the 64-bit one, each with
// its own wine loader and prefix.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "decoded_sound.h"
#include "audio/pcm.h"
#include "process.h"
#include "synth/song.h"
#include "test_support.h"
#include "virtual_display.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// One Windows build: where it is, what runs it, and what reads its imports.
struct WindowsBuild {
  const char* name;
  const char* preset;
  fs::path dir;
  std::string loader;   // Debian's wine (32-bit, needs the i386 architecture) or wine64
  std::string objdump;  // of the build's cross binutils
  std::string prefix;
};

const WindowsBuild kBuilds[] = {
    {"win32", "windows", WAVE_WINDOWS_DIR, "/usr/lib/wine/wine", "i686-w64-mingw32-objdump", WAVE_WINE_PREFIX "32"},
    {"win64", "windows64", WAVE_WINDOWS64_DIR, "/usr/lib/wine/wine64", "x86_64-w64-mingw32-objdump",
     WAVE_WINE_PREFIX "64"},
};

// Named in the tests' listings by its name alone.
void PrintTo(const WindowsBuild& build, std::ostream* out) { *out << build.name; }

const std::string kLines = "SND_UNIT_NUM = 1800\r\nRender Track ch[0]\r\n";

// A Unix path as a Windows program under wine sees it: drive Z: is the root.
std::string WinePath(const fs::path& path) {
  std::string p = "Z:" + path.string();
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}

// The Windows builds are made apart from this one (cmake --preset windows, windows64); without
// one there is nothing of it here to test.
bool WindowsBuildMissing(const WindowsBuild& build, std::string& why) {
  for (const char* exe : {"wave.exe", "wave-export.exe"}) {
    if (!fs::exists(build.dir / exe)) {
      why = (build.dir / exe).string() + " is missing: build it with cmake --preset " + build.preset +
            " && cmake --build --preset " + build.preset;
      return true;
    }
  }
  return false;
}

std::string BuildName(const ::testing::TestParamInfo<WindowsBuild>& info) { return info.param.name; }

class WindowsPrograms : public ::testing::TestWithParam<WindowsBuild> {};

// Statically linked C and C++ runtimes: a program imports only DLLs that every Windows has.
void ExpectOnlySystemDlls(const WindowsBuild& build, const fs::path& exe) {
  std::istringstream dlls(Shell(build.objdump + " -p '" + exe.string() + "' | sed -n 's/^\\s*DLL Name: //p'"));
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

TEST_P(WindowsPrograms, NeedNoRuntimeBesideWindows) {
  const WindowsBuild& build = GetParam();
  if (std::string why; WindowsBuildMissing(build, why)) GTEST_SKIP() << why;
  ASSERT_TRUE(Installed(build.objdump)) << "the cross build's binutils are missing";
  for (const char* exe : {"wave.exe", "wave-export.exe"}) ExpectOnlySystemDlls(build, build.dir / exe);
}

// The zip as a Windows user gets it: in the folder it unpacks to, the two programs, what they do
// (README.txt) and the licence, the texts with Windows' CR LF line ends.
TEST_P(WindowsPrograms, ZipHoldsTheProgramsTheirReadmeAndTheLicence) {
  const WindowsBuild& build = GetParam();
  if (std::string why; WindowsBuildMissing(build, why)) GTEST_SKIP() << why;
  ASSERT_TRUE(Installed(build.objdump)) << "the cross build's binutils are missing";
  ASSERT_TRUE(Installed("unzip")) << "needs unzip (./setup.sh test installs it)";
  const fs::path out = fs::temp_directory_path() / ("wave-zip-" + std::to_string(::getpid()) + "-" + build.name);
  fs::remove_all(out);
  fs::create_directories(out);
  const std::string made = Shell("cd '" + build.dir.string() + "' && '" WAVE_CPACK "' -B '" + out.string() +
                                 "' >/dev/null 2>&1 && echo made");
  ASSERT_EQ(made, "made\n") << "cpack failed in " << build.dir;
  const std::string top = std::string("wave-" WAVE_VERSION "-") + build.name;
  const fs::path zip = out / (top + ".zip");
  ASSERT_TRUE(fs::exists(zip)) << zip;

  // unzip -l, one name a line.
  std::istringstream listing(Shell("unzip -Z1 '" + zip.string() + "'"));
  std::vector<std::string> names;
  for (std::string name; std::getline(listing, name);)
    if (!name.ends_with("/")) names.push_back(name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{top + "/LICENSE.txt", top + "/README.txt", top + "/song.txt",
                                              top + "/wave-export.exe", top + "/wave.exe"}));

  Shell("cd '" + out.string() + "' && unzip -q '" + zip.string() + "'");
  for (const char* text : {"README.txt", "LICENSE.txt"}) {
    const std::string content = ReadFile((out / top / text).string());
    ASSERT_GT(content.size(), 500u) << text;
    EXPECT_EQ(content.substr(content.size() - 2), "\r\n") << text;
    for (std::size_t i = content.find('\n'); i != std::string::npos; i = content.find('\n', i + 1))
      ASSERT_TRUE(i > 0 && content[i - 1] == '\r') << text << ": a line ends in LF alone at byte " << i;
  }
  const std::string readme = ReadFile((out / top / "README.txt").string());
  for (const char* exe : {"wave.exe", "wave-export.exe"})
    EXPECT_NE(readme.find(exe), std::string::npos) << "README.txt does not tell of " << exe;
  for (const char* exe : {"wave.exe", "wave-export.exe"}) ExpectOnlySystemDlls(build, out / top / exe);
  fs::remove_all(out);
}

INSTANTIATE_TEST_SUITE_P(Builds, WindowsPrograms, ::testing::ValuesIn(kBuilds), BuildName);

// One wine server runs per prefix, and its desktop takes the display of the first program that
// starts it. So the tests run one at a time (CTest's resource lock) and each begins and ends
// with no server running.
void StopWineServer(const WindowsBuild& build) {
  Shell("export WINEPREFIX='" + build.prefix + "'; wineserver -k 2>/dev/null; wineserver -w");
}

// What the Windows program itself wrote to standard error: without the lines wine writes there
// of its own ("wine: ..."), such as a crash of one of its helper processes on a loaded machine.
std::string ProgramStderr(const Process& p) {
  std::istringstream in(p.Stderr());
  std::string out;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("wine: ", 0) != 0) out += line + "\n";
  return out;
}

// Why this machine cannot run the build's wine, or empty: not installed, or a kernel that runs no
// programs of its word size (a 64-bit kernel without 32-bit emulation).
std::string WineMissing(const WindowsBuild& build) {
  if (::access(build.loader.c_str(), X_OK) != 0)
    return build.loader + " is not installed, so the " + build.name +
           " programs are not run (./setup.sh test installs it where it can)";
  if (Shell("'" + build.loader + "' --version >/dev/null 2>&1 && echo runs") != "runs\n")
    return build.loader + " is installed but cannot run on this kernel (no " + std::string(build.name).substr(3) +
           "-bit emulation), so the " + build.name + " programs are not run";
  return "";
}

class Wine : public ::testing::TestWithParam<WindowsBuild> {
 protected:
  void SetUp() override {
    if (const std::string why = WineMissing(Build()); !why.empty()) GTEST_SKIP() << why;
    if (std::string why; WindowsBuildMissing(Build(), why)) GTEST_SKIP() << why;
    wine_ = Build().loader;
    StopWineServer(Build());
    dir_ = fs::temp_directory_path() / ("wave-wine-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (wine_.empty()) return;
    StopWineServer(Build());
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Runs a Windows program under wine; dll_overrides adds to the defaults (no .NET or HTML
  // engine: their installers would ask questions).
  ProcessOptions Options(const std::string& exe, std::vector<std::string> args, const std::string& display,
                         const std::string& dll_overrides = "") const {
    ProcessOptions o;
    o.argv = {wine_, (Build().dir / exe).string()};
    o.argv.insert(o.argv.end(), args.begin(), args.end());
    o.set_env = {{"WINEPREFIX", Build().prefix}, {"WINEDEBUG", "-all"},
                 {"WINEDLLOVERRIDES", "mscoree,mshtml=" + (dll_overrides.empty() ? "" : ";" + dll_overrides)}};
    if (display.empty())
      o.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
    else
      o.set_env.emplace_back("DISPLAY", display);
    o.input = Input::DevNull;
    return o;
  }

  static const WindowsBuild& Build() { return GetParam(); }

  std::string wine_;
  fs::path dir_;
};

TEST_P(Wine, ExportWritesTheSongAsWav) {
  const fs::path file = dir_ / "tune.wav";
  Process to_file(Options("wave-export.exe", {WinePath(file)}, ""));
  ASSERT_TRUE(to_file.Wait(120s));
  EXPECT_EQ(to_file.exit_code(), 0) << to_file.Stderr();
  EXPECT_EQ(to_file.Stdout(), kLines) << "console lines go through the text stream as CR LF";
  EXPECT_EQ(fs::file_size(file), 44u + kSongBlockBytes);
  EXPECT_EQ(DecodeSound(file).format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(DecodedSongCrc(file), kSongCrc);

  // To standard output: binary, byte for byte the same file.
  Process to_stdout(Options("wave-export.exe", {"-"}, ""));
  ASSERT_TRUE(to_stdout.Wait(120s));
  EXPECT_EQ(to_stdout.exit_code(), 0);
  EXPECT_EQ(ProgramStderr(to_stdout), kLines);
  EXPECT_TRUE(to_stdout.Stdout() == ReadFile(file.string())) << "standard output differs from the file";
}

TEST_P(Wine, EveryRenderPathGivesTheSong) {
  // The 64-bit build has the x86-64 paths and, on this same processor, runs the ones this build
  // runs; the 32-bit build has the portable path alone.
  const fs::path program = Build().dir / "render-every-path.exe";
  if (!fs::exists(program)) GTEST_SKIP() << program << " is missing: rebuild with cmake --build --preset " << Build().preset;
  std::vector<std::string> want = {"portable"};
  if (std::string(Build().name) == "win64") {
    want.clear();
    for (const RenderPath path : SupportedRenderPaths()) want.push_back(RenderPathName(path));
  }
  Process run(Options("render-every-path.exe", {WinePath(dir_)}, ""));
  ASSERT_TRUE(run.Wait(120s));
  ASSERT_EQ(run.exit_code(), 0) << run.Stderr();
  std::istringstream names(run.Stdout());
  std::vector<std::string> paths;
  for (std::string name; std::getline(names, name);) {
    if (!name.empty() && name.back() == '\r') name.pop_back();
    paths.push_back(name);
    const std::string block = ReadFile((dir_ / (name + ".pcm")).string());
    EXPECT_EQ(block.size(), kSongBlockBytes) << name;
    EXPECT_EQ(Crc32(std::span(reinterpret_cast<const unsigned char*>(block.data()), block.size())), kSongCrc) << name;
  }
  EXPECT_EQ(paths, want);
}

TEST_P(Wine, ExportFailuresLeaveNoFile) {
  for (const std::string& target : {WinePath(dir_ / "missing" / "tune.wav"), WinePath(dir_ / "tune.flac")}) {
    Process p(Options("wave-export.exe", {target}, ""));
    ASSERT_TRUE(p.Wait(120s));
    EXPECT_EQ(p.exit_code(), 1) << target;
    const std::string err = ProgramStderr(p);
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

TEST_P(WinePlayer, WithoutAudioDeviceShowsThePromptAndEndsOnReturn) {
  // No audio driver at all: waveOutOpen fails.
  Process wave(Options("wave.exe", {}, display_->name(), "winealsa.drv,winepulse.drv=d"));
  AnswerThePrompt(wave);
  const std::string err = ProgramStderr(wave);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(err.rfind("wave: no sound: ", 0), 0u) << err;
}

enum class Played { All, NotYet, Wrong };

// Whether a capture holds the song's samples in order, from its first non-zero one. When wine's
// audio thread runs late (on a loaded machine) it keeps the device going with silence, so runs of
// silence that the song does not have at that point are passed over; gaps counts them.
Played SongPlayedInOrder(std::string_view capture, std::span<const std::int16_t> song, int& gaps) {
  std::vector<std::int16_t> played(capture.size() / 2);
  std::memcpy(played.data(), capture.data(), played.size() * 2);
  std::size_t p = 0;
  while (p < played.size() && played[p] == 0) ++p;
  gaps = 0;
  for (std::size_t s = 0; s < song.size();) {
    if (p == played.size()) return Played::NotYet;
    if (played[p] == song[s]) {
      ++p;
      ++s;
    } else if (played[p] == 0) {
      while (p < played.size() && played[p] == 0) ++p;
      ++gaps;
    } else {
      return Played::Wrong;
    }
  }
  return Played::All;
}

TEST_P(WinePlayer, PlaysTheBlockThroughWaveOut) {
  ClearBuffers();
  CaptureConsole(RenderSong);
  ConvertToPcm16();
  const std::vector<std::int16_t> song = PcmSamples();
  ASSERT_EQ(Crc32(song), kSongCrc);

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
  int gaps = 0;
  Played played = Played::NotYet;
  ASSERT_TRUE(WaitFor(
      [&] {
        if (wave.Wait(0s) || size() < kSongBlockBytes + 64 * 1024) return wave.Wait(0s);
        played = SongPlayedInOrder(ReadFile(capture.string()), song, gaps);
        if (played == Played::NotYet) std::this_thread::sleep_for(500ms);  // a gap to be made up
        return played != Played::NotYet;
      },
      300s))
      << "only " << size() << " bytes played";
  AnswerThePrompt(wave);
  EXPECT_EQ(ProgramStderr(wave), "");
  played = SongPlayedInOrder(ReadFile(capture.string()), song, gaps);
  EXPECT_EQ(played, Played::All) << (played == Played::Wrong ? "samples out of order or changed" : "not all played");
  RecordProperty("silence_gaps", gaps);
}

INSTANTIATE_TEST_SUITE_P(Builds, Wine, ::testing::ValuesIn(kBuilds), BuildName);
INSTANTIATE_TEST_SUITE_P(Builds, WinePlayer, ::testing::ValuesIn(kBuilds), BuildName);

}  // namespace
