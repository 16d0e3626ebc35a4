// The Debian package that cpack makes of this build, as a user gets it: its contents, its
// dependencies, and the programs in it run from where it puts them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "decoded_sound.h"
#include "process.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPackage = WAVE_DEB_PACKAGE;
const std::string kTargetRun = WAVE_RUN_ON_TARGET;  // the emulator, for a cross build

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
};

TEST_F(DebianPackage, HoldsTheProgramsAndTheirManualPages) {
  std::istringstream listing(Shell("dpkg-deb -c '" + kPackage.string() + "' | awk '{print $NF}'"));
  std::vector<std::string> files;
  for (std::string line; std::getline(listing, line);)
    if (line.back() != '/') files.push_back(line);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"./usr/bin/wave", "./usr/bin/wave-export",
                                              "./usr/share/man/man1/wave-export.1.gz",
                                              "./usr/share/man/man1/wave.1.gz"}));
}

TEST_F(DebianPackage, IsForTheBuildsProcessorAndDependsOnTheLibrariesItLinks) {
  EXPECT_EQ(PackageField("Package"), "wave");
  EXPECT_EQ(PackageField("Architecture"), WAVE_DEB_ARCHITECTURE);
  const std::string depends = PackageField("Depends");
  for (const char* library : {"libc6 ", "libstdc++6 ", "libsndfile1 ", "libsdl2-2.0-0 "})
    EXPECT_NE(depends.find(library), std::string::npos) << library << "missing from " << depends;
}

TEST_F(DebianPackage, ManualPagesRenderWithoutWarnings) {
  if (!Installed("man")) GTEST_SKIP() << "needs man (Debian's man-db)";
  const fs::path dir = fs::temp_directory_path() / ("wave-deb-man-" + std::to_string(::getpid()));
  Shell("mkdir -p '" + dir.string() + "' && dpkg-deb -x '" + kPackage.string() + "' '" + dir.string() + "'");
  for (const char* page : {"wave", "wave-export"}) {
    const fs::path file = dir / "usr/share/man/man1" / (std::string(page) + ".1.gz");
    // man's own warnings and groff's come on standard error; the page itself on standard output.
    const std::string warnings =
        Shell("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '" + file.string() + "' 2>&1 >/dev/null");
    EXPECT_EQ(warnings, "") << page;
    const std::string text = Shell("LC_ALL=C.UTF-8 MANWIDTH=80 man -l '" + file.string() + "' 2>/dev/null");
    EXPECT_NE(text.find("SYNOPSIS"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(page) + " - "), std::string::npos) << text;
  }
  fs::remove_all(dir);
}

TEST_F(DebianPackage, ItsExportToolWritesTheSong) {
  const fs::path dir = fs::temp_directory_path() / ("wave-deb-run-" + std::to_string(::getpid()));
  Shell("mkdir -p '" + dir.string() + "' && dpkg-deb -x '" + kPackage.string() + "' '" + dir.string() + "'");
  const std::string lines = Shell("cd '" + dir.string() + "' && " + kTargetRun + "usr/bin/wave-export x.flac");
  EXPECT_EQ(lines, kConsoleLines);
  EXPECT_EQ(DecodedSongCrc(dir / "x.flac"), kSongCrc);
  fs::remove_all(dir);
}

}  // namespace
