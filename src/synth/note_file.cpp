#include "synth/note_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/shown_name.h"
#include "common/sound.h"

namespace {

// The bytes form holds at most every unit and NOTE_END; one more shows there is too much.
constexpr std::size_t kMaxBytes = SND_UNIT_NUM + 1;

bool IsText(const std::string& path) {
  if (path == "-") return true;
  if (path.size() < 4) return false;
  std::string ending = path.substr(path.size() - 4);
  std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ending == ".txt";
}

// Up to limit + 1 bytes of fd into content; false, with errno, on a read error.
bool ReadUpTo(int fd, std::size_t limit, std::string& content) {
  content.assign(limit + 1, '\0');
  std::size_t have = 0;
  while (have < content.size()) {
    const auto n = ::read(fd, content.data() + have, static_cast<unsigned>(content.size() - have));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  content.resize(have);
  return true;
}

}  // namespace

bool LoadNoteFile(const std::string& path, NoteSequence& notes, std::string& error) {
  const bool standard_input = path == "-";
  const std::string name = standard_input ? "standard input" : Shown(path);
  const auto fail = [&](const std::string& what) {
    error = name + ": " + what;
    return false;
  };
  if (standard_input && ::isatty(STDIN_FILENO)) return fail("is a terminal; give the notes in a file or a pipe");
#ifdef O_CLOEXEC
  const int fd = standard_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#else
  const int fd = standard_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_BINARY);
#endif
  if (fd < 0) return fail(std::strerror(errno));
  struct stat st {};
  std::string content;
  bool read = false;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
    errno = EISDIR;
  else
    read = ReadUpTo(fd, IsText(path) ? kMaxNoteTextBytes : kMaxBytes, content);
  const int saved = errno;
  if (!standard_input) ::close(fd);
  if (!read) return fail(std::strerror(saved));
  if (IsText(path)) {
    if (content.size() > kMaxNoteTextBytes) return fail("more than 1 MiB: not a note sequence");
    return ReadNoteText(content, notes, error) || fail(error);
  }
  const std::span bytes(reinterpret_cast<const unsigned char*>(content.data()), content.size());
  return ReadNoteBytes(bytes, notes, error) || fail(error);
}
