// Helpers shared by the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

constexpr std::uint32_t kSongCrc = 0x3F24A621;

// Zeroes TrackBuffer and MasterBuffer.
void ClearBuffers();

// Runs fn with the program's console lines going to a temporary file and returns what they were.
std::string CaptureConsole(const std::function<void()>& fn);

std::uint32_t Crc32(std::span<const unsigned char> bytes);
std::uint32_t Crc32(std::span<const std::int16_t> samples);

// Bitwise equality of two float ranges of equal length; on a mismatch describes the first one.
std::string FirstDifference(std::span<const float> got, std::span<const float> want);
