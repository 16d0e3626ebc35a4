// Helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "synth/paths/render_paths.h"

constexpr std::uint32_t kSongCrc = 0x3F24A621;
// What both programs print of the song, in order.
inline const std::string kConsoleLines = "SND_UNIT_NUM = 1800\nRender Track ch[0]\n";

// The emulator that runs this build's programs (a cross build's tests run on the build machine),
// or null where they run natively.
#ifdef WAVE_TEST_EMULATOR
constexpr const char* kEmulator = WAVE_TEST_EMULATOR;
#else
constexpr const char* kEmulator = nullptr;
#endif
constexpr std::size_t kSongBlockBytes = 15876000;

// Zeroes TrackBuffer and MasterBuffer.
void ClearBuffers();

// Runs fn with the program's console lines going to a temporary file and returns what they were.
std::string CaptureConsole(const std::function<void()>& fn);

std::uint32_t Crc32(std::span<const unsigned char> bytes);
std::uint32_t Crc32(std::span<const std::int16_t> samples);

// The samples of the PCM block, copied out of MasterBuffer; valid after ConvertToPcm16.
std::vector<std::int16_t> PcmSamples();

// The render paths this build and processor have, for a parameterised suite, each case named
// after its path.
inline auto EachRenderPath() {
  return ::testing::ValuesIn(SupportedRenderPaths().begin(), SupportedRenderPaths().end());
}
std::string PathName(RenderPath path);  // as a test's name may hold it
inline void PrintTo(RenderPath path, std::ostream* os) { *os << RenderPathName(path); }
inline std::string PathCaseName(const ::testing::TestParamInfo<RenderPath>& info) { return PathName(info.param); }

// Puts a render path in use while it lives; the one before it afterwards.
class UsingRenderPath {
 public:
  explicit UsingRenderPath(RenderPath path) : before_(ActiveRenderPath()) { UseRenderPath(path); }
  ~UsingRenderPath() { UseRenderPath(before_); }
  UsingRenderPath(const UsingRenderPath&) = delete;
  UsingRenderPath& operator=(const UsingRenderPath&) = delete;

 private:
  RenderPath before_;
};

// A suite whose every case runs once on each render path (INSTANTIATE_TEST_SUITE_P(Paths, Suite,
// EachRenderPath(), PathCaseName)), with that path in use.
class OnEachRenderPath : public ::testing::TestWithParam<RenderPath> {
 private:
  UsingRenderPath path_{GetParam()};
};

// The whole content of a file; empty if it cannot be read.
std::string ReadFile(const std::string& path);

// The song's PCM block within a capture of what a device played: it starts at the first non-zero
// sample (the song's first is 8), with silence before and after. Empty if not all of it is there.
std::string_view FindSongBlock(std::string_view capture);
// CRC-32 of the song block in a capture, 0 if the capture does not hold it.
std::uint32_t CapturedSongCrc(std::string_view capture);

// Bitwise equality of two float ranges of equal length; on a mismatch describes the first one.
std::string FirstDifference(std::span<const float> got, std::span<const float> want);
