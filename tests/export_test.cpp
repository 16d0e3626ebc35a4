// wave-export through the real binary.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kExport = WAVE_EXPORT_PATH;
const std::string kLines = "SND_UNIT_NUM = 1800\nRender Track ch[0]\n";

struct Decoded {
  SF_INFO info{};
  std::vector<std::int16_t> samples;
};

Decoded Decode(const fs::path& path) {
  Decoded d;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &d.info);
  if (!f) return d;
  d.samples.resize(static_cast<std::size_t>(d.info.frames));
  d.samples.resize(static_cast<std::size_t>(sf_read_short(f, d.samples.data(), d.info.frames)));
  sf_close(f);
  return d;
}

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
    const std::string full = "cd '" + dir_.string() + "' && export EXPORT='" + kExport + "' && (" + command +
                             ") > stdout.txt 2> stderr.txt < /dev/null";
    const int status = std::system(full.c_str());
    out_ = ReadFile(dir_ / "stdout.txt");
    err_ = ReadFile(dir_ / "stderr.txt");
    fs::remove(dir_ / "stdout.txt");
    fs::remove(dir_ / "stderr.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void ExpectSong(const fs::path& file, int major_format) {
    const Decoded d = Decode(dir_ / file);
    EXPECT_EQ(d.info.format & SF_FORMAT_TYPEMASK, major_format) << file;
    EXPECT_EQ(d.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16) << file;
    EXPECT_EQ(d.info.channels, 1);
    EXPECT_EQ(d.info.samplerate, 44100);
    ASSERT_EQ(d.samples.size(), 7938000u) << file;
    EXPECT_EQ(Crc32(d.samples), kSongCrc) << file;
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

TEST_F(Export, WritesWavFlacAndAiffByExtension) {
  ASSERT_EQ(Run("$EXPORT tune.wav && $EXPORT tune.flac && $EXPORT TUNE.AIFF"), 0) << err_;
  EXPECT_EQ(out_, kLines + kLines + kLines);
  EXPECT_EQ(err_, "");
  ExpectSong("tune.wav", SF_FORMAT_WAV);
  EXPECT_EQ(fs::file_size(dir_ / "tune.wav"), 44u + 15876000u);
  ExpectSong("tune.flac", SF_FORMAT_FLAC);
  EXPECT_LT(fs::file_size(dir_ / "tune.flac"), fs::file_size(dir_ / "tune.wav"));
  ExpectSong("TUNE.AIFF", SF_FORMAT_AIFF);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"TUNE.AIFF", "tune.flac", "tune.wav"}));
}

TEST_F(Export, DefaultsToWaveWavAndReplacesAnOldFile) {
  std::ofstream(dir_ / "wave.wav") << "old";
  ASSERT_EQ(Run("umask 022 && $EXPORT"), 0) << err_;
  ExpectSong("wave.wav", SF_FORMAT_WAV);
  EXPECT_EQ(fs::status(dir_ / "wave.wav").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(Export, DashWritesOnlyTheWavToStandardOutput) {
  ASSERT_EQ(Run("$EXPORT - > piped.wav.part && $EXPORT - | cat > piped.wav"), 0) << err_;
  EXPECT_EQ(err_, kLines + kLines);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(fs::file_size(dir_ / "piped.wav"), 44u + 15876000u);
  ExpectSong("piped.wav", SF_FORMAT_WAV);
  EXPECT_EQ(ReadFile(dir_ / "piped.wav"), ReadFile(dir_ / "piped.wav.part"));
}

TEST_F(Export, HelpPrintsUsage) {
  ASSERT_EQ(Run("$EXPORT --help"), 0);
  EXPECT_NE(out_.find("usage: wave-export"), std::string::npos);
  EXPECT_EQ(Entries(), std::vector<std::string>{});
}

TEST_F(Export, BadArgumentsFailWithOneLine) {
  for (const std::string args : {"tune.mp3", "tune", "--loud", "a.wav b.wav"}) {
    EXPECT_EQ(Run("$EXPORT " + args), 1) << args;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
    EXPECT_EQ(err_.rfind("wave-export: ", 0), 0u) << err_;
    EXPECT_EQ(out_, "") << "nothing is rendered for " << args;
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{});
}

TEST_F(Export, UnwritableTargetFailsAndLeavesNoFile) {
  std::ofstream(dir_ / "plain") << "a file, not a folder";
  EXPECT_EQ(Run("$EXPORT missing/tune.wav"), 1);
  EXPECT_NE(err_.find("missing/tune.wav"), std::string::npos) << err_;
  EXPECT_EQ(Run("$EXPORT plain/tune.wav"), 1);
  EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
  EXPECT_EQ(Entries(), std::vector<std::string>{"plain"});
}

TEST_F(Export, FullStandardOutputFails) {
  EXPECT_EQ(Run("$EXPORT - > /dev/full"), 1);
  EXPECT_NE(err_.find("No space left on device"), std::string::npos) << err_;
}

TEST_F(Export, FullDiskKeepsTheOldFileAndLeavesNoPartial) {
  // A 1 MiB file system of our own, in a private mount namespace so nothing outlives the test.
  if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
    GTEST_SKIP() << "needs root and mount namespaces to make a small file system";
  const int code = Run(
      "unshare -m sh -c 'mkdir small && mount -t tmpfs -o size=1m tmpfs small && echo old > small/tune.wav && "
      "$EXPORT small/tune.wav; echo \"exit $?\" >&2; cat small/tune.wav; ls -A small'");
  EXPECT_EQ(code, 0) << err_;
  EXPECT_NE(err_.find("No space left on device"), std::string::npos) << err_;
  EXPECT_NE(err_.find("exit 1\n"), std::string::npos) << err_;
  EXPECT_EQ(out_.substr(kLines.size()), "old\ntune.wav\n");
}

}  // namespace
