// wave-export's command line.
#pragma once

#include <optional>
#include <string>

constexpr const char* kExportUsage =
    "usage: wave-export [OPTION]... [--] [OUTPUT]\n"
    "Renders Wave's built-in tune, or the note sequence of --notes, and saves it as 16-bit PCM,\n"
    "mono, 44,100 Hz.\n"
    "\n"
    "  OUTPUT     file to write, default wave.wav; its extension picks the format:\n"
    "             .wav, .flac (lossless) or .aiff. '-' writes WAV to standard output.\n"
    "             An existing file is replaced once the new one is complete, keeping its\n"
    "             mode; a symbolic link is followed; a FIFO or device is written directly.\n"
    "  --notes FILE  the note sequence in FILE instead of the built-in tune: its bytes, or\n"
    "             for a name ending in .txt, or '-' (standard input), the text form\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "  --         ends the options: what follows is the OUTPUT, even if it begins with '-'\n"
    "\n"
    "Exit status: 0 when the file is written, 1 after an error, 2 for a usage error or a\n"
    "note sequence that cannot be read.\n";

struct ExportArguments {
  bool help = false;
  bool version = false;
  std::string output = "wave.wav";  // "-" for standard output
  std::optional<std::string> notes;   // a note file instead of the built-in song
};

// False, with the message in error, for a command line that asks for nothing this tool does.
bool ParseExportArguments(int argc, const char* const* argv, ExportArguments& arguments, std::string& error);
