// The Debian package that cpack makes of this build, as a user gets it: its contents and control
// fields, what Debian's checkers say of it, and the programs in it run from where it puts them,
// the player as the desktop's menu starts it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "decoded_sound.h"
#include "process.h"
#include "test_support.h"
#include "virtual_display.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const fs::path kPackage = WAVE_DEB_PACKAGE;
const std::string kTargetRun = WAVE_RUN_ON_TARGET;  // the emulator, for a cross build
const std::string& kLines = kConsoleLines;

std::string PackageField(const std::string& field) {
  std::string value = Shell("dpkg-deb -f '" + kPackage.string() + "' " + field);
  if (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

class DebianPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Installed("dpkg-deb")) GTEST_SKIP() << "needs dpkg-deb (Debian's dpkg)";
    ASSERT_TRUE(fs::exists(kPackage)) << kPackage << " was not made";
  }
  void TearDown() override {
    if (!root_.empty()) fs::remove_all(root_);
  }

  // The package's files in a folder of this test's own, laid out as dpkg puts them under /.
  const fs::path& Unpacked() {
    if (root_.empty()) {
      root_ = fs::temp_directory_path() /
              ("wave-deb-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
      Shell("mkdir -p '" + root_.string() + "' && dpkg-deb -x '" + kPackage.string() + "' '" + root_.string() + "'");
    }
    return root_;
  }

 private:
  fs::path root_;
};

TEST_F(DebianPackage, HoldsTheProgramsTheirDocumentationAndTheMenuEntry) {
  std::istringstream listing(Shell("dpkg-deb -c '" + kPackage.string() + "' | awk '{print $NF}'"));
  std::vector<std::string> files;
  for (std::string line; std::getline(listing, line);)
    if (line.back() != '/') files.push_back(line);
  std::sort(files.begin(), files.end());
  std::vector<std::string> want = {
      "./usr/bin/wave",
      "./usr/bin/wave-export",
      "./usr/share/applications/wave.desktop",
      "./usr/share/doc/wave/README.md.gz",
      "./usr/share/doc/wave/changelog.gz",
      "./usr/share/doc/wave/copyright",
      "./usr/share/doc/wave/examples/song.txt",
      "./usr/share/icons/hicolor/scalable/apps/wave.svg",
      "./usr/share/man/man1/wave-export.1.gz",
      "./usr/share/man/man1/wave.1.gz",
      "./usr/share/metainfo/org.example.wave.metainfo.xml",
  };
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    const std::string dir = std::to_string(size) + "x" + std::to_string(size);
    want.push_back("./usr/share/icons/hicolor/" + dir + "/apps/wave.png");
  }
  std::sort(want.begin(), want.end());
  EXPECT_EQ(files, want);
}

TEST_F(DebianPackage, ControlFieldsAreThoseDebianExpects) {
  EXPECT_EQ(PackageField("Package"), "wave");
  EXPECT_EQ(PackageField("Architecture"), WAVE_DEB_ARCHITECTURE);
  EXPECT_EQ(PackageField("Section"), "sound");
  EXPECT_EQ(PackageField("Priority"), "optional");
  EXPECT_TRUE(std::regex_match(PackageField("Maintainer"), std::regex(R"([^<>@]+ <[^<>@ ]+@[^<>@ ]+\.[a-z]+>)")))
      << PackageField("Maintainer");
  const std::string depends = PackageField("Depends");
  for (const char* library : {"libc6 ", "libstdc++6 ", "libsndfile1 ", "libsdl2-2.0-0 "})
    EXPECT_NE(depends.find(library), std::string::npos) << library << "missing from " << depends;
}

TEST_F(DebianPackage, LintianReportsNoErrorOrWarning) {
  if (!Installed("lintian")) GTEST_SKIP() << "lintian is not installed (./setup.sh test installs it where it can)";
  // Informational tags shown too, for the log; an error or a warning makes lintian fail.
  const std::string report =
      Shell("lintian --display-info --fail-on error,warning '" + kPackage.string() + "' 2>/dev/null; echo \"lintian: status $?\"");
  std::printf("%s", report.c_str());
  EXPECT_TRUE(report.ends_with("lintian: status 0\n")) << report;
}

TEST_F(DebianPackage, MenuEntryAndAppStreamMetadataValidate) {
  for (const char* tool : {"desktop-file-validate", "appstreamcli"})
    if (!Installed(tool)) GTEST_SKIP() << "needs " << tool << " (./setup.sh test installs desktop-file-utils and appstream)";
  const fs::path root = Unpacked();
  const std::string entry = (root / "usr/share/applications/wave.desktop").string();
  const std::string metadata = (root / "usr/share/metainfo/org.example.wave.metainfo.xml").string();
  EXPECT_EQ(Shell("desktop-file-validate '" + entry + "' 2>&1; echo status $?"), "status 0\n");
  // The metadata alone, then as installed, where the entry it names as its launchable must be.
  for (const std::string& command : {"appstreamcli validate --no-net '" + metadata + "'",
                                     "appstreamcli validate-tree --no-net '" + root.string() + "'"}) {
    const std::string said = Shell("LC_ALL=C.UTF-8 " + command + " 2>&1; echo status $?");
    EXPECT_TRUE(said.ends_with("status 0\n")) << command << ":\n" << said;
  }
}

TEST_F(DebianPackage, ManualPagesRenderWithoutWarnings) {
  if (!Installed("man")) GTEST_SKIP() << "needs man (Debian's man-db)";
  for (const char* page : {"wave", "wave-export"}) {
    const fs::path file = Unpacked() / "usr/share/man/man1" / (std::string(page) + ".1.gz");
    // man's own warnings and groff's come on standard error; the page itself on standard output.
    const std::string warnings =
        Shell("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '" + file.string() + "' 2>&1 >/dev/null");
    EXPECT_EQ(warnings, "") << page;
    const std::string text = Shell("LC_ALL=C.UTF-8 MANWIDTH=80 man -l '" + file.string() + "' 2>/dev/null");
    EXPECT_NE(text.find("SYNOPSIS"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(page) + " - "), std::string::npos) << text;
  }
}

TEST_F(DebianPackage, ItsExportToolWritesTheSong) {
  const fs::path dir = Unpacked();
  const std::string lines = Shell("cd '" + dir.string() + "' && " + kTargetRun + "usr/bin/wave-export x.flac");
  EXPECT_EQ(lines, kConsoleLines);
  EXPECT_EQ(DecodedSongCrc(dir / "x.flac"), kSongCrc);
}

// The menu entry's command as a desktop reads it: the Exec key of its [Desktop Entry] group, split
// into words, without field codes (%f, %u ...), its program looked up on the PATH, where bin
// stands first, for /usr/bin.
std::vector<std::string> EntryCommand(const fs::path& entry, const fs::path& bin) {
  std::istringstream in(ReadFile(entry.string()));
  std::string group, exec;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("[")) group = line;
    if (group == "[Desktop Entry]" && line.starts_with("Exec=")) exec = line.substr(5);
  }
  std::vector<std::string> words;
  std::istringstream split(exec);
  for (std::string word; split >> word;)
    if (!word.starts_with("%")) words.push_back(word);
  if (words.empty() || words[0].find('/') != std::string::npos) return words;
  const char* system_path = std::getenv("PATH");
  std::istringstream path(bin.string() + ":" + (system_path ? system_path : "/usr/bin:/bin"));
  for (std::string dir; std::getline(path, dir, ':');) {
    if (::access((fs::path(dir) / words[0]).c_str(), X_OK) == 0) {
      words[0] = (fs::path(dir) / words[0]).string();
      break;
    }
  }
  return words;
}

TEST_F(DebianPackage, MenuEntryStartsTheDialogAndOkEndsIt) {
  if (!VirtualDisplay::Available()) GTEST_SKIP() << VirtualDisplay::kMissing;
  const fs::path root = Unpacked();
  const auto command = EntryCommand(root / "usr/share/applications/wave.desktop", root / "usr/bin");
  ASSERT_EQ(command, std::vector<std::string>{(root / "usr/bin/wave").string()}) << "the entry starts something else";
  VirtualDisplay display;
  ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";

  // Started as a desktop starts it: on its display, with no terminal and nothing to read. SDL's
  // disk driver stands in for the sound card, to hear that the sound starts.
  const fs::path capture = root / "played.raw";
  ProcessOptions options{command,
                         {{"DISPLAY", display.name()}, {"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", capture.string()}},
                         {"WAYLAND_DISPLAY"},
                         Input::DevNull};
  Process wave(options);
  std::string window;
  ASSERT_TRUE(WaitFor([&] { return !(window = display.FindWindow("Wave")).empty() || wave.Wait(0s); }, 120s))
      << "no window titled Wave; windows: " << display.WindowList() << "; wave said: " << wave.Stderr();
  ASSERT_FALSE(window.empty()) << "wave ended with " << wave.exit_code() << " before its dialog: " << wave.Stderr();
  EXPECT_TRUE(WaitFor([&] { std::error_code ec; return fs::file_size(capture, ec) > 0 && !ec; }, 60s))
      << "no sound: " << wave.Stderr();
  display.PressReturn(window);
  ASSERT_TRUE(wave.Wait(10s)) << "OK did not end wave";
  EXPECT_EQ(wave.exit_code(), 0) << wave.Stderr();
  EXPECT_EQ(wave.Stdout(), kLines);
}

}  // namespace
