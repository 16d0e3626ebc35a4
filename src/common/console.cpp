#include "common/console.h"

#include <cstdarg>

namespace {
std::FILE* console_stream = nullptr;  // null: standard output
}

void SetConsole(std::FILE* stream) { console_stream = stream; }

void ConsolePrint(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::FILE* out = console_stream ? console_stream : stdout;
  std::vfprintf(out, format, args);
  va_end(args);
  // Out at once, also to a pipe or file: a reader sees each line as it happens, in order with
  // standard error, and none is lost if the run is cut short.
  std::fflush(out);
}
