#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "audio/pcm.h"
#include "common/console.h"
#include "common/sound.h"

void ClearBuffers() { ClearSoundBuffers(); }

std::string CaptureConsole(const std::function<void()>& fn) {
  std::FILE* f = std::tmpfile();
  SetConsole(f);
  fn();
  SetConsole(nullptr);
  std::string text;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(f);
  return text;
}

std::uint32_t Crc32(std::span<const unsigned char> bytes) {
  // The reflected IEEE 802.3 polynomial, as zlib computes it, a byte at a time. Our own, so that
  // every build of the tests (the web one too) has it without a library.
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const unsigned char b : bytes) crc = (crc >> 8) ^ table[(crc ^ b) & 0xFFu];
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Crc32(std::span<const std::int16_t> samples) {
  return Crc32(std::span(reinterpret_cast<const unsigned char*>(samples.data()), samples.size_bytes()));
}

std::string_view FindSongBlock(std::string_view capture) {
  std::size_t start = 0;
  while (start + 1 < capture.size() && capture[start] == 0 && capture[start + 1] == 0) start += 2;
  if (capture.size() - start < kSongBlockBytes) return {};
  return capture.substr(start, kSongBlockBytes);
}

std::uint32_t CapturedSongCrc(std::string_view capture) {
  const std::string_view block = FindSongBlock(capture);
  if (block.empty()) return 0;
  return Crc32(std::span(reinterpret_cast<const unsigned char*>(block.data()), block.size()));
}

std::string FirstDifference(std::span<const float> got, std::span<const float> want) {
  if (got.size() != want.size()) return "lengths differ";
  for (std::size_t n = 0; n < got.size(); ++n) {
    if (std::memcmp(&got[n], &want[n], sizeof(float)) != 0) {
      char text[128];
      std::snprintf(text, sizeof text, "first difference at sample %zu: got %.9g, want %.9g", n,
                    static_cast<double>(got[n]), static_cast<double>(want[n]));
      return text;
    }
  }
  return "";
}

std::vector<std::int16_t> PcmSamples() {
  const auto bytes = PcmBlock();
  std::vector<std::int16_t> samples(bytes.size() / sizeof(std::int16_t));
  std::memcpy(samples.data(), bytes.data(), bytes.size());
  return samples;
}

std::string PathName(RenderPath path) {
  std::string name = RenderPathName(path);
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
