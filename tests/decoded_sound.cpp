#include "decoded_sound.h"

#include <sndfile.h>

#include "test_support.h"

DecodedSound DecodeSound(const std::filesystem::path& file) {
  DecodedSound d;
  SF_INFO info{};
  SNDFILE* f = sf_open(file.c_str(), SFM_READ, &info);
  if (!f) return d;
  d.format = info.format;
  d.channels = info.channels;
  d.sample_rate = info.samplerate;
  d.samples.resize(static_cast<std::size_t>(info.frames));
  d.samples.resize(static_cast<std::size_t>(sf_read_short(f, d.samples.data(), info.frames)));
  sf_close(f);
  return d;
}

std::uint32_t DecodedSongCrc(const std::filesystem::path& file) {
  const DecodedSound d = DecodeSound(file);
  const bool song_shaped = (d.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 && d.channels == 1 &&
                           d.sample_rate == 44100 && d.samples.size() * 2 == kSongBlockBytes;
  return song_shaped ? Crc32(d.samples) : 0;
}
