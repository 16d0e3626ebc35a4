// Putting finished bytes where the user asked: standard output, a stream such as a FIFO, or a
// regular file that is replaced only once the new content is completely written.
#pragma once

#include <span>
#include <string>

// A new file for the target, put in its place by Commit. Until then the target is untouched
// and the new file has no name (where the file system allows; elsewhere a hidden name beside
// the target, removed again if the program is interrupted by SIGINT, SIGTERM or SIGHUP). An
// existing target keeps its mode, and its owner and group where the caller may set them; a new
// one is created like any other file (mode 0666 less the umask, or the directory's default ACL).
// A ReplacingFile destroyed without Commit leaves nothing behind.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();

  // target must not be a symbolic link (see ResolveLinks). Fails, with EACCES, where the caller
  // may not write to an existing target.
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

// The file a path finally names, following symbolic links (also one that points nowhere yet).
// Fails on a loop of links.
bool ResolveLinks(std::string& path, std::string& error);

// Whether path names something written as a stream rather than replaced: a FIFO or a character
// device.
bool IsStream(const std::string& path);

// Opens a stream for writing; -1 with the reason in error on failure.
int OpenStream(const std::string& path, std::string& error);

// Writes all of bytes to fd.
bool WriteAll(int fd, std::span<const unsigned char> bytes, std::string& error);

// Writes all of bytes to standard output.
bool WriteStandardOutput(std::span<const unsigned char> bytes, std::string& error);
