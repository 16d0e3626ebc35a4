// wave-export: renders the built-in tune exactly as the player does and saves it to a file.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "synth/song.h"
#include "audio/pcm.h"
#include "common/console.h"
#include "export/output_file.h"
#include "export/sound_file.h"

namespace {

constexpr const char* kUsage =
    "usage: wave-export [OUTPUT]\n"
    "Renders Wave's built-in tune and saves it as 16-bit PCM, mono, 44,100 Hz.\n"
    "\n"
    "  OUTPUT   file to write, default wave.wav; its extension picks the format:\n"
    "           .wav, .flac (lossless) or .aiff. '-' writes WAV to standard output.\n"
    "  --help   show this text\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "wave-export: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string target = "wave.wav";
  bool have_target = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg.size() > 1 && arg[0] == '-') return Fail("unknown option " + std::string(arg) + " (try --help)");
    if (have_target) return Fail("more than one output given (try --help)");
    target = arg;
    have_target = true;
  }

  const bool to_stdout = target == "-";
  const auto format = to_stdout ? SoundFileFormat::Wav : SoundFileFormatFor(target);
  if (!format) return Fail(target + ": unknown extension; use .wav, .flac or .aiff");

  std::string error;
  ReplacingFile file;
  if (to_stdout) {
    SetConsole(stderr);  // standard output carries the sound only
  } else if (!file.Open(target, error)) {
    return Fail("cannot write " + target + ": " + error);
  }

  RenderSong();
  ConvertToPcm16();

  if (to_stdout) {
    std::vector<unsigned char> bytes;
    if (!EncodeSoundFile(*format, PcmBlock(), bytes, error)) return Fail("cannot encode: " + error);
    if (!WriteStandardOutput(bytes, error)) return Fail("cannot write to standard output: " + error);
    return 0;
  }
  if (!WriteSoundFile(file.fd(), *format, PcmBlock(), error) || !file.Commit(error))
    return Fail("cannot write " + target + ": " + error);
  return 0;
}
