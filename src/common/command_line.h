// What both programs' command lines share: the answers to --help and --version, and a usage error,
// as careful command-line tools give them.
#pragma once

#include <optional>
#include <string>
#include <vector>

// What a command line asks: --help (-h), --version, --notes FILE (or --notes=FILE), and the
// operands, "--" ending the options.
struct CommandLine {
  bool help = false;
  bool version = false;
  std::optional<std::string> notes;
  std::vector<std::string> operands;
};

// False, with the message in error, on an option neither program knows. Names in the message are
// shown escaped.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error);

// text on standard output: 0, or 1 with one line on standard error where it cannot be written
// (a full disk, a closed pipe).
int PrintAnswer(const char* program, const std::string& text);

// "PROGRAM VERSION" and the licence, for --version.
std::string VersionText(const char* program);

// The message, then the usage, on standard error; the status of a usage error, 2.
int UsageError(const char* program, const std::string& message, const char* usage);
