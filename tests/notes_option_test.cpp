// --notes FILE through the real wave-export: the song in both forms gives the pinned block, and
// bad input gets one line, status 2, and no file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "export_fixture.h"
#include "process.h"
#include "synth/notes.h"

namespace {

using namespace export_test;

const std::string kExample = WAVE_EXAMPLE_SONG;

TEST_F(Export, NotesGiveTheSongInTheTextFormAndAsBytes) {
  std::ofstream(dir_ / "song.notes", std::ios::binary)
      .write(reinterpret_cast<const char*>(SongNotes.data()), static_cast<std::streamsize>(SongNotes.size()));
  ASSERT_EQ(Run("$EXPORT --notes '" + kExample + "' text.wav && $EXPORT --notes=song.notes bytes.flac && "
                "$EXPORT --notes - piped.wav < '" + kExample + "'"), 0) << err_;
  EXPECT_EQ(out_, kLines + kLines + kLines);
  ExpectSong("text.wav", SF_FORMAT_WAV);
  ExpectSong("bytes.flac", SF_FORMAT_FLAC);
  ExpectSong("piped.wav", SF_FORMAT_WAV);
}

TEST_F(Export, BadNotesGetOneLineStatusTwoAndNoFile) {
  std::ofstream(dir_ / "old.wav") << "old";
  std::ofstream(dir_ / "empty.txt").close();
  fs::create_directories(dir_ / "folder.txt");
  std::ofstream(dir_ / "big.txt") << "66 300\n";
  std::ofstream(dir_ / "word.txt") << "66 - -\n  loud\n";
  std::ofstream(dir_ / "minus.txt") << "-1";
  std::ofstream(dir_ / "nul.txt") << std::string("66 \0", 4);
  std::ofstream(dir_ / "latin1.txt") << "# caf\xe9\n66";
  std::string many;
  for (int i = 0; i < 1801; ++i) many += "60 ";
  std::ofstream(dir_ / "many.txt") << many;
  std::ofstream(dir_ / "secret.txt") << "66";
  fs::permissions(dir_ / "secret.txt", fs::perms::none);
  const std::pair<std::string, std::string> cases[] = {
      {"empty.txt", "'empty.txt': not a note sequence: it is empty"},
      {"folder.txt", "'folder.txt': Is a directory"},
      {"missing.txt", "'missing.txt': No such file or directory"},
      {"big.txt", "'big.txt': line 1, column 4: value 300 is not a byte"},
      {"minus.txt", "'minus.txt': line 1, column 1: value -1 is not a byte"},
      {"word.txt", "'word.txt': line 2, column 3: 'loud' is not a note value (a number from 0 to 255, -, off or end)"},
      {"nul.txt", "'nul.txt': line 1, column 4: a NUL byte: not text"},
      {"latin1.txt", "'latin1.txt': line 1, column 6: not UTF-8 text"},
      {"many.txt", "'many.txt': line 1, column 5401: more than 1800 units"},
      // Megabytes of bytes, without an end: no more is read than a sequence can hold.
      {"/dev/zero", "'/dev/zero': byte offset 1800: more than 1800 units"},
      {"secret.txt", "'secret.txt': Permission denied"},
  };
  // Root reads any file: the unreadable one is tried as nobody, in a folder nobody may write to.
  const std::string as_user = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  fs::permissions(dir_, fs::perms::all);
  for (const auto& [file, why] : cases) {
    const std::string run = (file == "secret.txt" ? as_user : "") + "$EXPORT --notes " + file + " old.wav";
    EXPECT_EQ(Run(run), 2) << file << ": " << err_;
    EXPECT_EQ(err_, "wave-export: " + why + "\n");
    EXPECT_EQ(out_, "") << file << ": nothing is rendered";
    EXPECT_EQ(ReadFile(dir_ / "old.wav"), "old") << file;
  }
  EXPECT_EQ(Run("$EXPORT --notes - old.wav"), 2);
  EXPECT_EQ(err_, "wave-export: standard input: not a note sequence: it is empty\n");
}

TEST_F(Export, NotesFromATerminalAreRefused) {
  std::ofstream(dir_ / "old.wav") << "old";
  Process typed({{kExport, "--notes", "-", (dir_ / "old.wav").string()}, {}, {}, Input::Terminal});
  ASSERT_TRUE(typed.Wait(std::chrono::seconds(60)));
  EXPECT_EQ(typed.exit_code(), 2);
  EXPECT_EQ(typed.TerminalOutput(), "wave-export: standard input: is a terminal; give the notes in a file or a pipe\r\n");
  EXPECT_EQ(ReadFile(dir_ / "old.wav"), "old");
}

}  // namespace
