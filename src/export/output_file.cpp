#include "export/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

bool Fail(std::string& error) {
  error = std::strerror(errno);
  return false;
}

// mkstemp makes its file private to the owner; give it what a newly created file would get.
bool SetNewFileMode(int fd) {
#ifdef _WIN32
  (void)fd;
  return true;
#else
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return ::fchmod(fd, 0666 & ~mask) == 0;
#endif
}

}  // namespace

bool WriteAll(int fd, std::span<const unsigned char> bytes, std::string& error) {
  while (!bytes.empty()) {
    const auto n = ::write(fd, bytes.data(), static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(error);
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool ReplacingFile::Open(const std::string& target, std::string& error) {
  Discard();
  target_ = target;
  // In the target's directory, so that the final rename stays on one file system.
#ifdef _WIN32
  const auto slash = target.find_last_of("/\\");
#else
  const auto slash = target.find_last_of('/');
#endif
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::vector<char> pattern(dir.begin(), dir.end());
  const std::string tail = "." + name + ".XXXXXX";
  pattern.insert(pattern.end(), tail.begin(), tail.end());
  pattern.push_back('\0');
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) return Fail(error);
  temp_ = pattern.data();
  if (!SetNewFileMode(fd_)) return Fail(error);
  return true;
}

bool ReplacingFile::Commit(std::string& error) {
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return Fail(error);  // a deferred write error shows here
  // Replaces an existing target, on Windows too.
  std::error_code ec;
  std::filesystem::rename(temp_, target_, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  temp_.clear();
  return true;
}

bool WriteStandardOutput(std::span<const unsigned char> bytes, std::string& error) {
#ifdef _WIN32
  _setmode(STDOUT_FILENO, _O_BINARY);  // no CR before every LF byte of the sound
#endif
  return WriteAll(STDOUT_FILENO, bytes, error);
}
