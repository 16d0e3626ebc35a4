// Replacing a file on Windows: a temporary beside the target, renamed over it when complete.
// Windows has no signals to care for here.
#include <fcntl.h>
#include <io.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "export/output/replacing_file.h"

namespace {

bool Fail(std::string& error) {
  error = std::strerror(errno);
  return false;
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
  const auto slash = target.find_last_of("/\\");
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::vector<char> pattern(dir.begin(), dir.end());
  const std::string tail = ".wave-export-XXXXXX";
  pattern.insert(pattern.end(), tail.begin(), tail.end());
  pattern.push_back('\0');
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) return Fail(error);
  temp_ = pattern.data();
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
