#include "common/console.h"

#include <cstdarg>

namespace {
std::FILE* console_stream = nullptr;  // null: standard output
}

void SetConsole(std::FILE* stream) { console_stream = stream; }

void ConsolePrint(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vfprintf(console_stream ? console_stream : stdout, format, args);
  va_end(args);
}
