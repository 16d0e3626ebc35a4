// Where wave-export puts the sound file: standard output ("-"), a stream written directly (a
// FIFO, a socket or a character device, and standard output by another name, such as
// /dev/stdout), or a regular file, replaced only once the new one is complete. What a name is, is
// asked of the name as given; only a regular file, or a name that does not exist yet, has its
// symbolic links followed to the file they finally name. A block device (a disk), or a link to
// one, is refused: it is neither written nor replaced.
#pragma once

#include <string>

#include "export/output/replacing_file.h"

class Destination {
 public:
  Destination() = default;
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;
  ~Destination();

  // False, with the whole message in error, where target cannot be written (a terminal is
  // refused: the sound is no text; so is "-" when the program was started without standard
  // output).
  bool Open(const std::string& target, std::string& error);
  // As messages name it: "standard output", or the name as given.
  const std::string& name() const { return name_; }
  bool is_standard_output() const { return standard_output_; }
  // A new file, which a sound file can be written into in place; otherwise a stream, which takes
  // the finished file in one piece.
  bool seekable() const { return file_.fd() >= 0; }
  int fd() const { return seekable() ? file_.fd() : stream_; }
  // The file written: a stream closed, a replacing file put in place. False, with error.
  bool Commit(std::string& error);

 private:
  std::string name_;
  ReplacingFile file_;
  int stream_ = -1;
  bool own_stream_ = false;  // opened here, to be closed here
  bool standard_output_ = false;
};
