// The player through the real binary, with SDL's disk driver standing in for the sound card:
// what the player's tests and the dialog's tests share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "process.h"
#include "test_support.h"

namespace player_test {

namespace fs = std::filesystem;

inline const std::string kWave = WAVE_PATH;
inline const std::string& kLines = kConsoleLines;
inline const std::string kSentence = "ぷれいなう : OKを押すと終了します";
inline const std::string kAsciiSentence = "pureinau : OK wo osu to shuuryou shimasu";

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
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

}  // namespace player_test
