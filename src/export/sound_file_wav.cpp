// A small WAV writer for builds without libsndfile (the Windows cross build): 16-bit PCM only.
#include <cstdint>

#include "common/device_state.h"
#include "common/pcm_format.h"
#include "export/output/write_all.h"
#include "export/sound_file.h"

namespace {

void Put(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));  // little-endian
}

void PutTag(std::vector<unsigned char>& out, const char (&tag)[5]) { out.insert(out.end(), tag, tag + 4); }

// The 44-byte header of a canonical 16-bit PCM mono WAV file with data_bytes of samples.
bool Header(SoundFileFormat format, std::uint32_t data_bytes, std::vector<unsigned char>& bytes, std::string& error) {
  if (format != SoundFileFormat::Wav) {
    error = "this build writes .wav only";
    return false;
  }
  PutTag(bytes, "RIFF");
  Put(bytes, 36 + data_bytes, 4);
  PutTag(bytes, "WAVE");
  PutTag(bytes, "fmt ");
  Put(bytes, 16, 4);
  Put(bytes, SND_FORMAT_PCM, 2);
  Put(bytes, SND_PCM_CHANNELS, 2);
  Put(bytes, SND_SAMPLE_RATE, 4);
  Put(bytes, SND_PCM_BYTES_PER_SECOND, 4);
  Put(bytes, SND_PCM_FRAME_BYTES, 2);
  Put(bytes, 8 * SND_PCM_SAMPLE_BYTES, 2);
  PutTag(bytes, "data");
  Put(bytes, data_bytes, 4);
  return true;
}

}  // namespace

bool WriteSoundFile(int fd, SoundFileFormat format, std::span<const unsigned char> pcm, std::string& error) {
  std::vector<unsigned char> header;
  // The block's bytes are little-endian samples, as WAV stores them.
  return Header(format, static_cast<std::uint32_t>(pcm.size()), header, error) && WriteAll(fd, header, error) &&
         WriteAll(fd, pcm, error);
}

bool EncodeSoundFile(SoundFileFormat format, std::span<const unsigned char> pcm,
                     std::vector<unsigned char>& bytes, std::string& error) {
  bytes.clear();
  if (!Header(format, static_cast<std::uint32_t>(pcm.size()), bytes, error)) return false;
  bytes.insert(bytes.end(), pcm.begin(), pcm.end());
  return true;
}
