// wave-export's command line.
#pragma once

#include <string>

struct ExportArguments {
  bool help = false;
  std::string output = "wave.wav";  // "-" for standard output
};

constexpr const char* kExportUsage =
    "usage: wave-export [--] [OUTPUT]\n"
    "Renders Wave's built-in tune and saves it as 16-bit PCM, mono, 44,100 Hz.\n"
    "\n"
    "  OUTPUT   file to write, default wave.wav; its extension picks the format:\n"
    "           .wav, .flac (lossless) or .aiff. '-' writes WAV to standard output.\n"
    "           An existing file is replaced once the new one is complete, keeping its\n"
    "           mode; a symbolic link is followed; a FIFO or device is written directly.\n"
    "  --help   show this text\n"
    "  --       ends the options: what follows is the OUTPUT, even if it begins with '-'\n";

// False, with the message in error, for arguments that ask for nothing this tool does.
bool ParseExportArguments(int argc, const char* const* argv, ExportArguments& arguments, std::string& error);
