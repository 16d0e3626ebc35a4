#include "common/console.h"

#include <cerrno>
#include <cstdarg>

namespace {
std::FILE* console_stream = nullptr;  // null: standard output
int console_error = 0;
}  // namespace

void SetConsole(std::FILE* stream) { console_stream = stream; }

void ConsolePrint(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::FILE* out = console_stream ? console_stream : stdout;
  errno = 0;
  const bool printed = std::vfprintf(out, format, args) >= 0;
  va_end(args);
  // Out at once, also to a pipe or file: a reader sees each line as it happens, in order with
  // standard error, and none is lost if the run is cut short.
  const bool flushed = std::fflush(out) == 0;
  if ((!printed || !flushed) && console_error == 0) console_error = errno != 0 ? errno : EIO;
}

int ConsoleError() { return console_error; }
