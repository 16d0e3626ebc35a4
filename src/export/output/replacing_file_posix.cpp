// Replacing a file on Linux and other POSIX systems. The new content goes into an unnamed file
// in the target's directory (O_TMPFILE), which gets a name only once it is complete and is at
// once renamed over the target; an interruption before that leaves nothing. Where the file
// system has no unnamed files, a hidden name is used and removed again on the signals that end
// a program.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

#include "common/ending_signals.h"
#include "export/output/access_acl.h"
#include "export/output/replacing_file.h"

namespace {

bool Fail(std::string& error) {
  error = std::strerror(errno);
  return false;
}

// The hidden file's name for the signal handler: it cannot look at a std::string.
volatile sig_atomic_t hidden_armed = 0;
int hidden_dir_fd = -1;
char hidden_name[32];

void RemoveHiddenFileAndEnd(int signal) {
  if (hidden_armed) ::unlinkat(hidden_dir_fd, hidden_name, 0);
  ::signal(signal, SIG_DFL);
  ::raise(signal);  // ends the program as the signal would have
}


// Holds the ending signals back while a name appears and moves: they take effect once it is
// where it belongs.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kEndingSignals) sigaddset(&set, signal);
    ::sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~EndingSignalsHeld() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
  sigset_t old_;
};

// Short and fixed in length, so that it fits wherever the target's own name fits.
std::string HiddenName() {
  static std::minstd_rand random(static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(::time(nullptr)));
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = ".wave-export-";
  for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

// The old file's owner, group, mode and access ACL for the new one. Where the owner cannot be
// kept, no set-user-ID bit; where the group cannot, no set-group-ID bit and the group gets no
// more than anyone. A file system without chmod keeps its own fixed modes: that is no failure.
bool KeepOwnerModeAndAcl(int fd, const std::string& old_path, const struct stat& old, std::string& error) {
  std::string acl;
  if (!ReadAccessAcl(old_path, acl, error)) return false;
  mode_t mode = old.st_mode & 07777;
  bool same_group = true;
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
    mode &= ~S_ISUID;
    same_group = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
    if (!same_group) mode &= ~(S_ISGID | (070 & ~((mode & 07) << 3)));
  }
  if (!DropAccessAcl(fd, error)) return false;
  if (::fchmod(fd, mode) != 0 && errno != ENOSYS && errno != EOPNOTSUPP && errno != ENOTSUP && errno != EPERM)
    return Fail(error);
  return WriteAccessAcl(fd, acl, same_group, error);
}

// Only a regular file is replaced: a device's or FIFO's node, or a directory, is never renamed
// over (which would unlink it).
bool Replaceable(const struct stat& st, std::string& error) {
  if (S_ISREG(st.st_mode)) return true;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return Fail(error);
  }
  error = "it is not a regular file";
  return false;
}

}  // namespace

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlinkat(dir_fd_, temp_.c_str(), 0);
  hidden_armed = 0;
  temp_.clear();
  if (dir_fd_ >= 0) ::close(dir_fd_);
  dir_fd_ = -1;
}

bool ReplacingFile::Open(const std::string& target, std::string& error) {
  Discard();
  // In the target's directory, so that the final rename stays on one file system.
  const auto slash = target.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  target_ = slash == std::string::npos ? target : target.substr(slash + 1);
  dir_fd_ = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd_ < 0) return Fail(error);
  if (target_.empty()) {
    errno = EISDIR;
    return Fail(error);
  }
  struct stat old {};
  const bool exists = ::fstatat(dir_fd_, target_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && !Replaceable(old, error)) return false;
  // Like cp: a file the caller may not write to is not replaced either.
  if (exists && ::faccessat(dir_fd_, target_.c_str(), W_OK, AT_EACCESS) != 0) return Fail(error);

  {
    EndingSignalsHeld held;  // no hidden file without its name recorded for cleanup
    fd_ = ::openat(dir_fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    unnamed_ = fd_ >= 0;
    if (!unnamed_) {
      // EISDIR or EINVAL: no O_TMPFILE in this kernel; EOPNOTSUPP: none on this file system.
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return Fail(error);
      HandleEndingSignals(RemoveHiddenFileAndEnd);
      for (int tries = 0; fd_ < 0 && tries < 100; ++tries) {
        temp_ = HiddenName();
        fd_ = ::openat(dir_fd_, temp_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
      }
      if (fd_ < 0) {
        temp_.clear();
        return Fail(error);
      }
      std::strcpy(hidden_name, temp_.c_str());
      hidden_dir_fd = dir_fd_;
      hidden_armed = 1;
    }
  }
  return !exists || KeepOwnerModeAndAcl(fd_, target, old, error);
}

bool ReplacingFile::Commit(std::string& error) {
  EndingSignalsHeld held;  // from here the file is either in place or gone
  auto fail = [&] {
    Fail(error);
    Discard();
    return false;
  };
  if (unnamed_) {
    // A name for the unnamed file, through /proc; without /proc, directly (which needs
    // privilege).
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int tries = 0; temp_.empty() && tries < 100; ++tries) {
      const std::string name = HiddenName();
      if (::linkat(AT_FDCWD, self.c_str(), dir_fd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          (errno == ENOENT && ::linkat(fd_, "", dir_fd_, name.c_str(), AT_EMPTY_PATH) == 0))
        temp_ = name;
      else if (errno != EEXIST)
        return fail();
    }
    if (temp_.empty()) return fail();
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return fail();  // a deferred write error shows here
  // Whatever has come to the target's name meanwhile must be as replaceable as the old file was.
  struct stat now {};
  if (::fstatat(dir_fd_, target_.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && !Replaceable(now, error)) {
    Discard();
    return false;
  }
  if (::renameat(dir_fd_, temp_.c_str(), dir_fd_, target_.c_str()) != 0) return fail();
  temp_.clear();
  hidden_armed = 0;
  return true;
}
