// wave-export: renders the built-in tune exactly as the player does and saves it to a file. Its
// steps: the arguments, the destination opened, the render, the file written and put in place.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "audio/pcm.h"
#include "common/command_line.h"
#include "common/console.h"
#include "common/shown_name.h"
#include "common/standard_streams.h"
#include "export/output/destination.h"
#include "export/export_arguments.h"
#include "export/sound_file.h"
#include "export/output/write_all.h"
#include "synth/note_file.h"
#include "synth/song.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "wave-export: %s\n", message.c_str());
  return 1;
}

// Why the console lines, on standard error when the sound takes standard output, did not all go
// out.
std::string ConsoleFailure(bool on_standard_error) {
  const std::string stream = on_standard_error ? "standard error" : "standard output";
  if (StandardStreamWasClosed(on_standard_error ? STDERR_FILENO : STDOUT_FILENO))
    return "cannot write the console lines: " + stream + " is closed";
  return "cannot write the console lines to " + stream + ": " + std::strerror(ConsoleError());
}

// The finished block as a sound file at the destination: written in place into a new file, or,
// for a stream, encoded first and then written in one piece.
bool WriteSound(Destination& out, SoundFileFormat format, std::string& error) {
  if (out.seekable()) {
    if (WriteSoundFile(out.fd(), format, PcmBlock(), error)) return true;
    error = "cannot write " + out.name() + ": " + error;
    return false;
  }
  std::vector<unsigned char> bytes;
  if (!EncodeSoundFile(format, PcmBlock(), bytes, error)) {
    error = "cannot encode: " + error;
    return false;
  }
  if (WriteAll(out.fd(), bytes, error)) return true;
  error = "cannot write to " + out.name() + ": " + error;
  return false;
}

int Export(int argc, char** argv) {
  ExportArguments arguments;
  std::string error;
  if (!ParseExportArguments(argc, argv, arguments, error)) return UsageError("wave-export", error, kExportUsage);
  if (arguments.help) return PrintAnswer("wave-export", kExportUsage);
  if (arguments.version) return PrintAnswer("wave-export", VersionText("wave-export"));
  NoteSequence notes;
  if (arguments.notes && !LoadNoteFile(*arguments.notes, notes, error)) {
    Fail(error);
    return 2;  // nothing written: the input was bad
  }
  const auto format = arguments.output == "-" ? SoundFileFormat::Wav : SoundFileFormatFor(arguments.output);
  if (!format) return Fail(Shown(arguments.output) + ": unknown extension; use .wav, .flac or .aiff");

  Destination out;
  if (!out.Open(arguments.output, error)) return Fail(error);
  if (out.is_standard_output()) SetConsole(stderr);  // standard output carries the sound only

  if (arguments.notes)
    RenderNotes(notes);
  else
    RenderSong();
  ConvertToPcm16();

  if (!WriteSound(out, *format, error) || !out.Commit(error)) return Fail(error);
  // The file is complete and stays; but a tool whose output went missing says so, and fails.
  if (ConsoleError() != 0) return Fail(ConsoleFailure(out.is_standard_output()));
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
