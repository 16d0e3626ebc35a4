// Sound file encoding with libsndfile: to a file, or, for a destination that cannot seek (a pipe),
// into memory first, since a WAV header is only complete once the samples are written.
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/pcm_format.h"
#include "export/sound_file.h"

namespace {

struct MemoryFile {
  std::vector<unsigned char>& bytes;
  sf_count_t pos = 0;
};

MemoryFile& Mem(void* user) { return *static_cast<MemoryFile*>(user); }

sf_count_t MemLength(void* user) { return static_cast<sf_count_t>(Mem(user).bytes.size()); }

sf_count_t MemSeek(sf_count_t offset, int whence, void* user) {
  MemoryFile& f = Mem(user);
  const sf_count_t base = whence == SEEK_CUR ? f.pos : whence == SEEK_END ? MemLength(user) : 0;
  if (base + offset < 0) return -1;
  f.pos = base + offset;
  return f.pos;
}

sf_count_t MemRead(void* dst, sf_count_t count, void* user) {
  MemoryFile& f = Mem(user);
  const sf_count_t n = std::clamp<sf_count_t>(MemLength(user) - f.pos, 0, count);
  if (n > 0) std::memcpy(dst, f.bytes.data() + f.pos, static_cast<std::size_t>(n));
  f.pos += n;
  return n;
}

sf_count_t MemWrite(const void* src, sf_count_t count, void* user) {
  MemoryFile& f = Mem(user);
  const auto end = static_cast<std::size_t>(f.pos + count);
  if (end > f.bytes.size()) f.bytes.resize(end);
  std::memcpy(f.bytes.data() + f.pos, src, static_cast<std::size_t>(count));
  f.pos += count;
  return count;
}

sf_count_t MemTell(void* user) { return Mem(user).pos; }

int MajorFormat(SoundFileFormat format) {
  switch (format) {
    case SoundFileFormat::Flac: return SF_FORMAT_FLAC;
    case SoundFileFormat::Aiff: return SF_FORMAT_AIFF;
    case SoundFileFormat::Wav: break;
  }
  return SF_FORMAT_WAV;
}

SF_INFO Info(SoundFileFormat format) {
  SF_INFO info{};
  info.samplerate = SND_SAMPLE_RATE;
  info.channels = SND_PCM_CHANNELS;
  info.format = MajorFormat(format) | SF_FORMAT_PCM_16;
  return info;
}

// Writes the block's samples through sf. WAV stores them as the block holds them, signed 16-bit
// little-endian, so its bytes go in as they are, in one piece. The other formats are encoded
// from shorts, copied out of the block a piece at a time: the block's storage holds floats.
bool WriteSamples(SNDFILE* sf, SoundFileFormat format, std::span<const unsigned char> pcm) {
  if (format == SoundFileFormat::Wav)
    return sf_write_raw(sf, pcm.data(), static_cast<sf_count_t>(pcm.size())) == static_cast<sf_count_t>(pcm.size());
  std::int16_t piece[16384];
  while (!pcm.empty()) {
    const std::size_t bytes = std::min(pcm.size(), sizeof piece);
    std::memcpy(piece, pcm.data(), bytes);
    const auto count = static_cast<sf_count_t>(bytes / sizeof piece[0]);
    if (sf_write_short(sf, piece, count) != count) return false;
    pcm = pcm.subspan(bytes);
  }
  return true;
}

// Writes the block through sf and closes it.
bool WriteAndClose(SNDFILE* sf, SoundFileFormat format, std::span<const unsigned char> pcm, std::string& error) {
  if (!sf) {
    error = sf_strerror(nullptr);
    return false;
  }
  const bool written = WriteSamples(sf, format, pcm);
  if (!written) error = sf_strerror(sf);
  if (sf_close(sf) != 0 && written) {
    error = "cannot finish the file";
    return false;
  }
  return written;
}

}  // namespace

bool WriteSoundFile(int fd, SoundFileFormat format, std::span<const unsigned char> pcm, std::string& error) {
  SF_INFO info = Info(format);
  return WriteAndClose(sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE), format, pcm, error);
}

bool EncodeSoundFile(SoundFileFormat format, std::span<const unsigned char> pcm,
                     std::vector<unsigned char>& bytes, std::string& error) {
  bytes.clear();
  bytes.reserve(pcm.size() + 4096);  // room for headers: no regrowth of a large buffer
  MemoryFile file{bytes};
  SF_VIRTUAL_IO io{MemLength, MemSeek, MemRead, MemWrite, MemTell};
  SF_INFO info = Info(format);
  return WriteAndClose(sf_open_virtual(&io, SFM_WRITE, &info, &file), format, pcm, error);
}
