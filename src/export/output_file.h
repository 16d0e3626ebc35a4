// Putting finished bytes where the user asked: standard output, or a file that is replaced only
// once the new content is completely written.
#pragma once

#include <span>
#include <string>

// A temporary file beside the target, renamed over it by Commit. Until then the target is
// untouched; a ReplacingFile destroyed without Commit removes its temporary.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();

  bool Open(const std::string& target, std::string& error);
  int fd() const { return fd_; }  // the temporary, for writing
  bool Commit(std::string& error);

 private:
  void Discard();

  std::string target_;
  std::string temp_;
  int fd_ = -1;
};

// Writes all of bytes to fd.
bool WriteAll(int fd, std::span<const unsigned char> bytes, std::string& error);

// Writes all of bytes to standard output.
bool WriteStandardOutput(std::span<const unsigned char> bytes, std::string& error);
