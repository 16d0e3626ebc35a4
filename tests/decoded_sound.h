// A sound file read back through libsndfile, for the tests of the programs that write one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

struct DecodedSound {
  int format = 0;  // libsndfile's SF_FORMAT_* of the file; 0 if it could not be read
  int channels = 0;
  int sample_rate = 0;
  std::vector<std::int16_t> samples;
};

DecodedSound DecodeSound(const std::filesystem::path& file);

// CRC-32 of the song's samples in a 16-bit mono 44,100 Hz file; 0 if the file is anything else.
std::uint32_t DecodedSongCrc(const std::filesystem::path& file);
