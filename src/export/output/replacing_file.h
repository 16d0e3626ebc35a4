// A regular file replaced only once the new content is completely written.
#pragma once

#include <string>

// A new file for the target, put in its place by Commit. Until then the target is untouched
// and the new file has no name (where the file system allows; elsewhere a hidden name beside
// the target, removed again if the program is interrupted by SIGINT, SIGTERM or SIGHUP). Only a
// regular file is replaced. An existing target keeps its mode and its access ACL (or Open
// fails), and its owner and group where the caller may set them; a new one is created like any
// other file (mode 0666 less the umask, or the directory's default ACL).
// A ReplacingFile destroyed without Commit leaves nothing behind.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();

  // target must not be a symbolic link: the destination resolves links first. Fails, with EACCES,
  // where the caller may not write to an existing target.
  bool Open(const std::string& target, std::string& error);
  int fd() const { return fd_; }  // the new file, for writing
  bool Commit(std::string& error);

 private:
  void Discard();

  std::string target_;
  std::string temp_;    // the hidden name, while the new file has one
  int dir_fd_ = -1;     // the target's directory
  int fd_ = -1;
  bool unnamed_ = false;
};
