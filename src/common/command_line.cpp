#include "common/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/shown_name.h"

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
      line.operands.emplace_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else if (arg == "--notes" || arg.starts_with("--notes=")) {
      if (line.notes) {
        error = "--notes given more than once";
        return false;
      }
      if (arg == "--notes" && i + 1 == argc) {
        error = "--notes needs a FILE";
        return false;
      }
      line.notes = std::string(arg == "--notes" ? std::string_view(argv[++i]) : arg.substr(8));
    } else {
      error = "unknown option " + Shown(arg);
      return false;
    }
  }
  return true;
}

int PrintAnswer(const char* program, const std::string& text) {
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program, std::strerror(errno));
  return 1;
}

std::string VersionText(const char* program) {
  return std::string(program) + " " WAVE_VERSION "\n"
         "Copyright (c) 2026 The Wave developers. MIT licence: you may use, copy, change and share it.\n";
}

int UsageError(const char* program, const std::string& message, const char* usage) {
  std::fprintf(stderr, "%s: %s\n%s", program, message.c_str(), usage);
  return 2;
}
