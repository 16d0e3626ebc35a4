// Encoding the PCM block as a sound file: 16-bit PCM, mono, SND_SAMPLE_RATE. The block comes as
// its bytes, signed 16-bit little-endian samples.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class SoundFileFormat { Wav, Flac, Aiff };

// The format a file name asks for by its extension (case-insensitive), if it is one we write.
std::optional<SoundFileFormat> SoundFileFormatFor(std::string_view path);

// Writes the block as a complete file to fd, a new file open for writing: straight from the
// block, with no copy of the whole. On failure returns false and says why in error.
bool WriteSoundFile(int fd, SoundFileFormat format, std::span<const unsigned char> pcm, std::string& error);

// Encodes the block as a complete file into bytes, for a destination that cannot seek (a pipe).
bool EncodeSoundFile(SoundFileFormat format, std::span<const unsigned char> pcm,
                     std::vector<unsigned char>& bytes, std::string& error);
