// wave-export: renders the built-in tune exactly as the player does and saves it to a file.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "synth/song.h"
#include "audio/pcm.h"
#include "common/console.h"
#include "common/standard_streams.h"
#include "export/output_file.h"
#include "export/sound_file.h"

namespace {

constexpr const char* kUsage =
    "usage: wave-export [--] [OUTPUT]\n"
    "Renders Wave's built-in tune and saves it as 16-bit PCM, mono, 44,100 Hz.\n"
    "\n"
    "  OUTPUT   file to write, default wave.wav; its extension picks the format:\n"
    "           .wav, .flac (lossless) or .aiff. '-' writes WAV to standard output.\n"
    "           An existing file is replaced once the new one is complete, keeping its\n"
    "           mode; a symbolic link is followed; a FIFO or device is written directly.\n"
    "  --help   show this text\n"
    "  --       ends the options: what follows is the OUTPUT, even if it begins with '-'\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "wave-export: %s\n", message.c_str());
  return 1;
}

// A file name as messages show it: control characters escaped, never sent to the terminal.
std::string Shown(std::string_view name) {
  std::string shown;
  for (const unsigned char c : name) {
    if (c >= 0x20 && c != 0x7f) {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    }
  }
  return shown;
}

int Help() {
  std::fputs(kUsage, stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) return Fail(std::string("cannot write the help: ") + std::strerror(errno));
  return 0;
}

int Export(int argc, char** argv) {
  std::string target = "wave.wav";
  bool have_target = false, options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_ended && arg == "--") {
      options_ended = true;
      continue;
    }
    if (!options_ended && (arg == "--help" || arg == "-h")) return Help();
    if (!options_ended && arg.size() > 1 && arg[0] == '-')
      return Fail("unknown option " + Shown(arg) + " (try --help)");
    if (have_target) return Fail("more than one output given (try --help)");
    target = arg;
    have_target = true;
  }

  const bool to_stdout = target == "-";
  const auto format = to_stdout ? SoundFileFormat::Wav : SoundFileFormatFor(target);
  if (!format) return Fail(Shown(target) + ": unknown extension; use .wav, .flac or .aiff");

  std::string error;
  ReplacingFile file;
  int stream = -1;  // standard output, a FIFO or a device: written in one go, never replaced
  if (to_stdout) {
    if (::isatty(STDOUT_FILENO))
      return Fail("not writing sound to a terminal; redirect standard output to a file or pipe");
    SetConsole(stderr);  // standard output carries the sound only
    stream = STDOUT_FILENO;
  } else {
    std::string path = target;
    if (!ResolveLinks(path, error)) return Fail("cannot write " + Shown(target) + ": " + error);
    if (IsStream(path))
      stream = OpenStream(path, error);
    if (stream < 0 && (!error.empty() || !file.Open(path, error)))
      return Fail("cannot write " + Shown(target) + ": " + error);
  }

  RenderSong();
  ConvertToPcm16();

  if (stream >= 0) {
    const std::string where = to_stdout ? "standard output" : Shown(target);
    std::vector<unsigned char> bytes;
    if (!EncodeSoundFile(*format, PcmBlock(), bytes, error)) return Fail("cannot encode: " + error);
    if (!(to_stdout ? WriteStandardOutput(bytes, error) : WriteAll(stream, bytes, error)))
      return Fail("cannot write to " + where + ": " + error);
    if (!to_stdout && ::close(stream) != 0) return Fail("cannot write to " + where + ": " + std::strerror(errno));
    return 0;
  }
  if (!WriteSoundFile(file.fd(), *format, PcmBlock(), error) || !file.Commit(error))
    return Fail("cannot write " + Shown(target) + ": " + error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!OpenStandardStreams()) return 1;  // not even standard error to say so
  try {
    return Export(argc, argv);
  } catch (const std::bad_alloc&) {
    return Fail("out of memory");
  }
}
