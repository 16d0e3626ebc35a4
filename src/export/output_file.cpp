#include "export/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool Fail(std::string& error) {
  error = std::strerror(errno);
  return false;
}

bool WriteAll(int fd, std::span<const unsigned char> bytes, std::string& error) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(error);
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

// Permissions a newly created file would get: mkstemp makes its file private to the owner.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

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
  const auto slash = target.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::vector<char> pattern(dir.begin(), dir.end());
  const std::string tail = "." + name + ".XXXXXX";
  pattern.insert(pattern.end(), tail.begin(), tail.end());
  pattern.push_back('\0');
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) return Fail(error);
  temp_ = pattern.data();
  if (::fchmod(fd_, NewFileMode()) != 0) return Fail(error);
  return true;
}

bool ReplacingFile::Write(std::span<const unsigned char> bytes, std::string& error) {
  return WriteAll(fd_, bytes, error);
}

bool ReplacingFile::Commit(std::string& error) {
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return Fail(error);  // a deferred write error shows here
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) return Fail(error);
  temp_.clear();
  return true;
}

bool WriteStandardOutput(std::span<const unsigned char> bytes, std::string& error) {
  return WriteAll(STDOUT_FILENO, bytes, error);
}
