// The player against a real sound server of the test's own (a private PulseAudio with null
// sinks): what reaches the sink, and what the player does when the server misbehaves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "audio/pcm.h"
#include "process.h"
#include "pulse_server.h"
#include "synth/song.h"
#include "test_support.h"

using namespace std::chrono_literals;

namespace {

const std::string kLines = "SND_UNIT_NUM = 1800\nRender Track ch[0]\n";

// The song's PCM block, rendered here once.
const std::vector<std::int16_t>& SongBlock() {
  static const std::vector<std::int16_t> block = [] {
    ClearBuffers();
    CaptureConsole(RenderSong);
    ConvertToPcm16();
    return PcmSamples();
  }();
  return block;
}

// Empty if the capture holds the first `seconds` of the block sample for sample from its first
// sound on (silence may come before it); else what is wrong.
std::string CheckBlockStart(const std::string& capture, double seconds) {
  if (capture.size() < 2) return "nothing captured";
  std::vector<std::int16_t> got(capture.size() / 2);
  std::memcpy(got.data(), capture.data(), got.size() * 2);
  std::size_t start = 0;
  while (start < got.size() && got[start] == 0) ++start;
  const auto want = static_cast<std::size_t>(seconds * 44100);
  if (got.size() - start < want)
    return "only " + std::to_string((got.size() - start) / 44100.0) + " s of sound captured";
  const auto& block = SongBlock();
  for (std::size_t n = 0; n < want; ++n)
    if (got[start + n] != block[n])
      return "sample " + std::to_string(n) + " of the block: got " + std::to_string(got[start + n]) + ", want " +
             std::to_string(block[n]);
  return "";
}

class SoundServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PulseServer::Available()) GTEST_SKIP() << PulseServer::kMissing;
  }

  // The player on the server, with no desktop; its input is a pipe that stands for OK.
  static ProcessOptions Player(const PulseServer& server) {
    ProcessOptions o{{WAVE_PATH}, server.ClientEnv(), {"DISPLAY", "WAYLAND_DISPLAY", "SDL_AUDIODRIVER"}, Input::Pipe};
    return o;
  }

  // OK ends the run promptly, well, with both lines.
  static void ExpectEndsOnOk(Process& wave, std::chrono::milliseconds within = 1000ms) {
    wave.Type("\n");
    EXPECT_TRUE(wave.Wait(within)) << "still running " << within.count() << " ms after OK";
    ASSERT_TRUE(wave.Wait(10s));
    EXPECT_EQ(wave.exit_code(), 0) << wave.Stderr();
    EXPECT_EQ(wave.Stdout(), kLines);
  }
};

TEST_F(SoundServer, TheSinkHearsTheBlockBitForBit) {
  PulseServer server;
  ASSERT_TRUE(server.ready()) << "the private server did not start";
  auto recorder = server.Record("a");
  Process wave(Player(server));
  const std::string why = [&] {
    std::string last;
    WaitFor([&] { return (last = CheckBlockStart(recorder->Stdout(), 3.0)).empty(); }, 60s);
    return last;
  }();
  EXPECT_EQ(why, "");
  ExpectEndsOnOk(wave);
}

}  // namespace
