// The destination on Windows: standard output, or a file replaced once the new one is complete.
// Windows has no symbolic links, FIFOs or devices to care for here.
#include <fcntl.h>
#include <io.h>
#include <unistd.h>

#include "export/output/destination.h"
#include "common/shown_name.h"

Destination::~Destination() = default;

bool Destination::Open(const std::string& target, std::string& error) {
  if (target == "-") {
    name_ = "standard output";
    _setmode(STDOUT_FILENO, _O_BINARY);  // no CR before every LF byte of the sound
    stream_ = STDOUT_FILENO;
    standard_output_ = true;
    return true;
  }
  name_ = Shown(target);
  std::string why;
  if (file_.Open(target, why)) return true;
  error = "cannot write " + name_ + ": " + why;
  return false;
}

bool Destination::Commit(std::string& error) {
  if (!seekable() || file_.Commit(error)) return true;
  error = "cannot write " + name_ + ": " + error;
  return false;
}
