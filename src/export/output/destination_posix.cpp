// The destination on Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "export/output/destination.h"
#include "common/shown_name.h"
#include "common/standard_streams.h"

namespace {

constexpr const char* kTerminal = "not writing sound to a terminal; redirect standard output to a file or pipe";

// The file a path finally names, following symbolic links (also one that points nowhere yet).
// Fails on a loop of links.
bool ResolveLinks(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;  // missing: a new file
    char link[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), link, sizeof link);
    if (n < 0) return false;
    if (n == sizeof link) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string destination(link, static_cast<std::size_t>(n));
    const auto slash = path.find_last_of('/');
    // A relative destination is relative to the link's directory.
    path = destination[0] == '/' || slash == std::string::npos ? destination : path.substr(0, slash + 1) + destination;
  }
  errno = ELOOP;
  return false;
}

// Started with standard output closed, the program holds /dev/null there, which is not standard
// output by another name.
bool IsStandardOutput(const struct stat& st) {
  struct stat out {};
  if (StandardStreamWasClosed(STDOUT_FILENO) || ::fstat(STDOUT_FILENO, &out) != 0) return false;
  return out.st_dev == st.st_dev && out.st_ino == st.st_ino;
}

}  // namespace

Destination::~Destination() {
  if (own_stream_) ::close(stream_);
}

bool Destination::Open(const std::string& target, std::string& error) {
  const auto fail = [&](const std::string& why) {
    error = "cannot write " + Shown(target) + ": " + why;
    return false;
  };
  if (target == "-") {
    name_ = "standard output";
    if (StandardStreamWasClosed(STDOUT_FILENO)) {
      error = "standard output is closed";
      return false;
    }
    if (::isatty(STDOUT_FILENO)) {
      error = kTerminal;
      return false;
    }
    stream_ = STDOUT_FILENO;
    standard_output_ = true;
    return true;
  }
  name_ = Shown(target);
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  // A disk or partition is never the place for a sound file, and replacing its node would unlink
  // it: refused, by its own name or through a link.
  if (exists && S_ISBLK(st.st_mode)) return fail("it is a block device");
  if (exists && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode))) {
    if (IsStandardOutput(st)) {
      // Standard output by another name: it may be a socket or a pipe that no name opens again.
      stream_ = STDOUT_FILENO;
      standard_output_ = true;
    } else {
      stream_ = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      if (stream_ < 0) return fail(std::strerror(errno));
      own_stream_ = true;
      // What was opened, in case the name was changed in between.
      struct stat opened {};
      if (::fstat(stream_, &opened) != 0) return fail(std::strerror(errno));
      if (S_ISBLK(opened.st_mode) || S_ISREG(opened.st_mode)) return fail("it changed while being opened");
    }
    if (::isatty(stream_)) {
      error = kTerminal;
      return false;
    }
    return true;
  }
  std::string path = target;
  if (!ResolveLinks(path)) return fail(std::strerror(errno));
  std::string why;
  return file_.Open(path, why) || fail(why);
}

bool Destination::Commit(std::string& error) {
  if (seekable()) {
    if (file_.Commit(error)) return true;
    error = "cannot write " + name_ + ": " + error;
    return false;
  }
  if (!own_stream_) return true;
  own_stream_ = false;
  if (::close(stream_) == 0) return true;
  error = "cannot write to " + name_ + ": " + std::strerror(errno);
  return false;
}
