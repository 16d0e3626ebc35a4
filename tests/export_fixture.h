// wave-export through the real binary, in a scratch folder of each test's own: what the export's
// test files share.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "decoded_sound.h"
#include "test_support.h"

namespace export_test {

namespace fs = std::filesystem;

inline const std::string kExport = WAVE_EXPORT_PATH;
inline const std::string kRestricted = RESTRICTED_RUN_PATH;
inline const std::string& kLines = kConsoleLines;

class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("wave-export-test-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs a shell command in the test's directory; "$EXPORT" names the tool. Returns the exit code;
  // standard output and error land in out_ and err_.
  int Run(const std::string& command) {
    const std::string full = "cd '" + dir_.string() + "' && export EXPORT='" + kExport + "' RESTRICTED='" +
                             kRestricted + "' && (" + command +
                             ") > stdout.txt 2> stderr.txt < /dev/null";
    const int status = std::system(full.c_str());
    out_ = ReadFile(dir_ / "stdout.txt");
    err_ = ReadFile(dir_ / "stderr.txt");
    fs::remove(dir_ / "stdout.txt");
    fs::remove(dir_ / "stderr.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void ExpectSong(const fs::path& file, int major_format) {
    EXPECT_EQ(DecodeSound(dir_ / file).format & SF_FORMAT_TYPEMASK, major_format) << file;
    EXPECT_EQ(DecodedSongCrc(dir_ / file), kSongCrc) << file;
  }

  std::vector<std::string> Entries() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  std::string out_, err_;
};

}  // namespace export_test
