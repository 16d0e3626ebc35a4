// A small WAV writer for builds without libsndfile (the Windows cross build): 16-bit PCM only.
#include "common/sound.h"
#include "export/sound_file.h"

namespace {

void Put(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));  // little-endian
}

void PutTag(std::vector<unsigned char>& out, const char (&tag)[5]) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

bool EncodeSoundFile(SoundFileFormat format, std::span<const std::int16_t> samples,
                     std::vector<unsigned char>& bytes, std::string& error) {
  if (format != SoundFileFormat::Wav) {
    error = "this build writes .wav only";
    return false;
  }
  constexpr int kChannels = 1, kBytesPerSample = 2;
  const auto data_bytes = static_cast<std::uint32_t>(samples.size_bytes());
  bytes.clear();
  bytes.reserve(44 + data_bytes);
  PutTag(bytes, "RIFF");
  Put(bytes, 36 + data_bytes, 4);
  PutTag(bytes, "WAVE");
  PutTag(bytes, "fmt ");
  Put(bytes, 16, 4);
  Put(bytes, SND_FORMAT_PCM, 2);
  Put(bytes, kChannels, 2);
  Put(bytes, SND_SAMPLE_RATE, 4);
  Put(bytes, SND_SAMPLE_RATE * kChannels * kBytesPerSample, 4);
  Put(bytes, kChannels * kBytesPerSample, 2);
  Put(bytes, 8 * kBytesPerSample, 2);
  PutTag(bytes, "data");
  Put(bytes, data_bytes, 4);
  for (const std::int16_t s : samples) Put(bytes, static_cast<std::uint16_t>(s), 2);
  return true;
}
