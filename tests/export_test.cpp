// wave-export through the real binary.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "decoded_sound.h"
#include "export_fixture.h"
#include "process.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using namespace export_test;


TEST_F(Export, WritesWavFlacAndAiffByExtension) {
  ASSERT_EQ(Run("$EXPORT tune.wav && $EXPORT tune.flac && $EXPORT TUNE.AIFF"), 0) << err_;
  EXPECT_EQ(out_, kLines + kLines + kLines);
  EXPECT_EQ(err_, "");
  ExpectSong("tune.wav", SF_FORMAT_WAV);
  EXPECT_EQ(fs::file_size(dir_ / "tune.wav"), 44u + 15876000u);
  ExpectSong("tune.flac", SF_FORMAT_FLAC);
  EXPECT_LT(fs::file_size(dir_ / "tune.flac"), fs::file_size(dir_ / "tune.wav"));
  ExpectSong("TUNE.AIFF", SF_FORMAT_AIFF);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"TUNE.AIFF", "tune.flac", "tune.wav"}));
}

TEST_F(Export, DefaultsToWaveWavAndReplacesAnOldFile) {
  std::ofstream(dir_ / "wave.wav") << "old";
  ASSERT_EQ(Run("umask 022 && $EXPORT"), 0) << err_;
  ExpectSong("wave.wav", SF_FORMAT_WAV);
  EXPECT_EQ(fs::status(dir_ / "wave.wav").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(Export, DashWritesOnlyTheWavToStandardOutput) {
  ASSERT_EQ(Run("$EXPORT - > piped.wav.part && $EXPORT - | cat > piped.wav"), 0) << err_;
  EXPECT_EQ(err_, kLines + kLines);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(fs::file_size(dir_ / "piped.wav"), 44u + 15876000u);
  ExpectSong("piped.wav", SF_FORMAT_WAV);
  EXPECT_EQ(ReadFile(dir_ / "piped.wav"), ReadFile(dir_ / "piped.wav.part"));
}

TEST_F(Export, AnswersHelpAndVersionAndRefusesUsageErrorsWithTheUsage) {
  ASSERT_EQ(Run("$EXPORT --help"), 0);
  EXPECT_EQ(out_.rfind("usage: wave-export", 0), 0u) << out_;
  EXPECT_EQ(err_, "");
  ASSERT_EQ(Run("$EXPORT --version"), 0);
  EXPECT_EQ(out_.rfind("wave-export 1.0\n", 0), 0u) << out_;
  for (const std::string args : {"--loud", "a.wav b.wav", "-x a.wav"}) {
    EXPECT_EQ(Run("$EXPORT " + args), 2) << args;
    EXPECT_EQ(out_, "") << "nothing is rendered for " << args;
    EXPECT_NE(err_.find("\nusage: wave-export"), std::string::npos) << err_;
    EXPECT_EQ(err_.rfind("wave-export: ", 0), 0u) << err_;
  }
  EXPECT_EQ(Run("$EXPORT --help > /dev/full"), 1);
  EXPECT_EQ(err_, "wave-export: cannot write to standard output: No space left on device\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{});
}

TEST_F(Export, DoubleDashEndsOptionsAndNamesAreShownEscaped) {
  ASSERT_EQ(Run("$EXPORT -- -x.wav"), 0) << err_;
  ExpectSong("-x.wav", SF_FORMAT_WAV);
  // Quoted, and shown as text, never sent raw: an escape sequence and a line break; the C1
  // control CSI in UTF-8 and as a lone byte (a terminal takes either for an escape); bytes that
  // are no UTF-8; a quote. A printable non-ASCII character only where the locale is UTF-8.
  const struct {
    std::string locale, name, shown;  // the name as printf makes it
  } cases[] = {
      {"C.UTF-8", "a\\033[2J\\nb.mp3", "'a\\x1b[2J\\x0ab.mp3'"},
      {"C.UTF-8", "\\302\\233c\\233d\\377\\300\\200.mp3", "'\\xc2\\x9bc\\x9bd\\xff\\xc0\\x80.mp3'"},
      {"C.UTF-8", "it\\047s \\303\\251.mp3", "'it\\'s \xc3\xa9.mp3'"},
      {"C", "\\303\\251.mp3", "'\\xc3\\xa9.mp3'"},
      {"C.UTF-8", "", "''"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run("LC_ALL=" + c.locale + " $EXPORT \"$(printf '" + c.name + "')\""), 1) << c.shown;
    EXPECT_EQ(err_, "wave-export: " + c.shown + ": unknown extension; use .wav, .flac or .aiff\n");
  }
}

TEST_F(Export, DashRefusesToWriteSoundToATerminal) {
  Process wave({{kExport, "-"}, {}, {}, Input::Terminal});
  ASSERT_TRUE(wave.Wait(std::chrono::seconds(60)));
  EXPECT_EQ(wave.exit_code(), 1);
  EXPECT_EQ(wave.TerminalOutput(), "wave-export: not writing sound to a terminal; redirect standard output to a file or pipe\r\n");
}

TEST_F(Export, StandardOutputByAnotherNameIsWrittenAsDashIs) {
  fs::create_symlink("/dev/stdout", dir_ / "out.wav");
  ASSERT_EQ(Run("$EXPORT out.wav | cat > piped.wav"), 0) << err_;
  EXPECT_EQ(err_, kLines) << "the console lines keep out of the sound";
  ExpectSong("piped.wav", SF_FORMAT_WAV);
  EXPECT_TRUE(fs::is_symlink(dir_ / "out.wav"));
}

TEST_F(Export, StandardOutputByAnotherNameOnATerminalIsRefusedAsDashIs) {
  fs::create_symlink("/dev/stdout", dir_ / "out.wav");
  Process wave({{kExport, (dir_ / "out.wav").string()}, {}, {}, Input::Terminal});
  ASSERT_TRUE(wave.Wait(std::chrono::seconds(60)));
  EXPECT_EQ(wave.exit_code(), 1);
  EXPECT_EQ(wave.TerminalOutput(), "wave-export: not writing sound to a terminal; redirect standard output to a file or pipe\r\n");
}

TEST_F(Export, BadArgumentsFailWithOneLine) {
  for (const std::string args : {"tune.mp3", "tune"}) {
    EXPECT_EQ(Run("$EXPORT " + args), 1) << args;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
    EXPECT_EQ(err_.rfind("wave-export: ", 0), 0u) << err_;
    EXPECT_EQ(out_, "") << "nothing is rendered for " << args;
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{});
}

TEST_F(Export, UnwritableTargetFailsAndLeavesNoFile) {
  std::ofstream(dir_ / "plain") << "a file, not a folder";
  EXPECT_EQ(Run("$EXPORT missing/tune.wav"), 1);
  EXPECT_NE(err_.find("missing/tune.wav"), std::string::npos) << err_;
  EXPECT_EQ(Run("$EXPORT plain/tune.wav"), 1);
  EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
  EXPECT_EQ(Entries(), std::vector<std::string>{"plain"});
}

TEST_F(Export, ClosedStandardStreamsStayOutOfTheFile) {
  // With a standard descriptor closed, the next file opened would take its number. The file is
  // written all the same; console lines that cannot go out fail the run, as any tool's output
  // would.
  const struct {
    std::string command, name, said;
    int code;
  } runs[] = {
      {"$EXPORT out.wav >&-", "out.wav",
       "wave-export: cannot write the console lines: standard output is closed\n", 1},
      {"$EXPORT err.wav 2>&-", "err.wav", "", 0},
      {"$EXPORT in.wav <&-", "in.wav", "", 0},
      {"$EXPORT all.wav <&- >&- 2>&-", "all.wav", "", 1},
  };
  for (const auto& run : runs) {
    EXPECT_EQ(Run(run.command), run.code) << run.command << ": " << err_;
    EXPECT_EQ(err_, run.said) << run.command;
    EXPECT_EQ(fs::file_size(dir_ / run.name), 44u + 15876000u) << run.name;
    ExpectSong(run.name, SF_FORMAT_WAV);
  }
}

TEST_F(Export, OutputThatCannotBeWrittenFailsTheRun) {
  // "-" without a standard output: said at once, and nothing is written anywhere.
  EXPECT_EQ(Run("$EXPORT - >&-"), 1);
  EXPECT_EQ(err_, "wave-export: standard output is closed\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{});
  // Console lines that find no room: the complete file stays, and the run fails.
  EXPECT_EQ(Run("$EXPORT full.wav > /dev/full"), 1);
  EXPECT_EQ(err_, "wave-export: cannot write the console lines to standard output: No space left on device\n");
  ExpectSong("full.wav", SF_FORMAT_WAV);
  EXPECT_EQ(Run("$EXPORT - 2> /dev/full > piped.wav"), 1);
  ExpectSong("piped.wav", SF_FORMAT_WAV);
  // A reader that goes away: a failure (here SIGPIPE, as for any filter), never success.
  ASSERT_EQ(Run("{ $EXPORT -; echo $? > status; } | head -c 1000 > /dev/null; cat status"), 0);
  EXPECT_NE(out_, "0\n");
  EXPECT_NE(out_, "") << "no status: " << err_;
}

TEST_F(Export, OutOfMemoryIsOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves terabytes of address space, which a memory limit forbids";
#endif
  EXPECT_EQ(Run("ulimit -v 80000 && $EXPORT - > out.wav"), 1);
  EXPECT_EQ(err_, kLines + "wave-export: out of memory\n");
}

TEST_F(Export, FullStandardOutputFails) {
  EXPECT_EQ(Run("$EXPORT - > /dev/full"), 1);
  EXPECT_NE(err_.find("No space left on device"), std::string::npos) << err_;
}

TEST_F(Export, FullDiskKeepsTheOldFileAndLeavesNoPartial) {
  // A 1 MiB file system of our own, in a private mount namespace so nothing outlives the test.
  if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
    GTEST_SKIP() << "needs root and mount namespaces to make a small file system";
  const int code = Run(
      "unshare -m sh -c 'mkdir small && mount -t tmpfs -o size=1m tmpfs small && echo old > small/tune.wav && "
      "$EXPORT small/tune.wav; echo \"exit $?\" >&2; cat small/tune.wav; ls -A small'");
  EXPECT_EQ(code, 0) << err_;
  EXPECT_NE(err_.find("No space left on device"), std::string::npos) << err_;
  EXPECT_NE(err_.find("exit 1\n"), std::string::npos) << err_;
  EXPECT_EQ(out_.substr(kLines.size()), "old\ntune.wav\n");
}

// Interrupted at any moment, with or without unnamed files on the file system: the old file is
// either still there or completely replaced, and nothing else is left beside it.
TEST_F(Export, EndingSignalsLeaveNothingBehind) {
  const fs::path target = dir_ / "tune.wav";
  int interrupted = 0;
  for (const bool unnamed : {true, false}) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      for (int ms = 0; ms <= 120; ms += 15) {
        std::ofstream(target) << "old";
        ProcessOptions o{{kExport, target.string()}, {}, {}, Input::DevNull};
        if (!unnamed) o.argv.insert(o.argv.begin(), {kRestricted, "--no-tmpfile"});
        Process run(o);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        run.Signal(signal);
        ASSERT_TRUE(run.Wait(std::chrono::seconds(60)));
        const std::string where = std::string(unnamed ? "unnamed" : "named") + " temporary, signal " +
                                  std::to_string(signal) + " after " + std::to_string(ms) + " ms";
        if (run.exit_code() == 128 + signal) {
          ++interrupted;
        } else {
          EXPECT_EQ(run.exit_code(), 0) << where << ": " << run.Stderr();
        }
        ASSERT_EQ(Entries(), std::vector<std::string>{"tune.wav"}) << where;
        if (fs::file_size(target) != 3) ExpectSong("tune.wav", SF_FORMAT_WAV);
      }
    }
  }
  EXPECT_GT(interrupted, 0) << "no run was interrupted: the test signalled too late";
}

TEST_F(Export, ReplacingKeepsModeOwnerAndGroup) {
  const bool root = ::geteuid() == 0;
  std::ofstream(dir_ / "private.wav") << "old";
  fs::permissions(dir_ / "private.wav", fs::perms::owner_read | fs::perms::owner_write);
  std::ofstream(dir_ / "shared.wav") << "old";
  fs::permissions(dir_ / "shared.wav", static_cast<fs::perms>(0664));
  if (root) {
    ASSERT_EQ(::chown((dir_ / "shared.wav").c_str(), 4321, 8765), 0);
  }
  ASSERT_EQ(Run("umask 022 && $EXPORT private.wav && $EXPORT shared.wav && umask 027 && $EXPORT new.wav"), 0) << err_;
  const auto mode = [&](const char* name) {
    struct stat st {};
    ::stat((dir_ / name).c_str(), &st);
    return st;
  };
  EXPECT_EQ(mode("private.wav").st_mode & 07777, 0600u);
  EXPECT_EQ(mode("shared.wav").st_mode & 07777, 0664u);
  if (root) {
    EXPECT_EQ(mode("shared.wav").st_uid, 4321u);
    EXPECT_EQ(mode("shared.wav").st_gid, 8765u);
  }
  EXPECT_EQ(mode("new.wav").st_mode & 07777, 0640u) << "a new file: 0666 less the umask";
  for (const char* name : {"private.wav", "shared.wav", "new.wav"}) ExpectSong(name, SF_FORMAT_WAV);
}

TEST_F(Export, ANewFileFollowsTheDirectorysDefaultAcl) {
  if (!Installed("setfacl")) GTEST_SKIP() << "needs setfacl (Debian: acl; ./setup.sh test installs it)";
  if (Run("setfacl -d -m u::rw,g::rw,o::r .") != 0) GTEST_SKIP() << "this file system has no ACLs: " << err_;
  // As touch does: the default ACL, not the umask, decides.
  ASSERT_EQ(Run("umask 077 && $EXPORT tune.wav && touch touched"), 0) << err_;
  EXPECT_EQ(fs::status(dir_ / "tune.wav").permissions(), fs::status(dir_ / "touched").permissions());
  EXPECT_EQ(fs::status(dir_ / "tune.wav").permissions(), static_cast<fs::perms>(0664));
}

TEST_F(Export, AFileSystemWithoutChmodIsNoFailure) {
  std::ofstream(dir_ / "old.wav") << "old";
  ASSERT_EQ(Run("$RESTRICTED --no-chmod $EXPORT old.wav && $RESTRICTED --no-chmod $EXPORT new.wav"), 0) << err_;
  ExpectSong("old.wav", SF_FORMAT_WAV);
  ExpectSong("new.wav", SF_FORMAT_WAV);
}

TEST_F(Export, WithoutHugePagesTheFileIsTheSame) {
  ASSERT_EQ(Run("$RESTRICTED --no-huge-pages $EXPORT small.wav && $EXPORT huge.wav"), 0) << err_;
  ExpectSong("small.wav", SF_FORMAT_WAV);
  EXPECT_EQ(ReadFile(dir_ / "small.wav"), ReadFile(dir_ / "huge.wav"));
}

// A disk is no place for a sound file, and replacing its node would unlink it: refused, by its
// own name or through a link, and left as it was.
TEST_F(Export, ABlockDeviceIsRefusedAndKept) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a block device node";
  const dev_t loop0 = makedev(7, 0);
  if (::mknod((dir_ / "disk.wav").c_str(), S_IFBLK | 0600, loop0) != 0)
    GTEST_SKIP() << "cannot make a block device node here: " << std::strerror(errno);
  fs::create_symlink("disk.wav", dir_ / "link.wav");
  for (const std::string name : {"disk.wav", "link.wav"}) {
    EXPECT_EQ(Run("$EXPORT " + name), 1) << name;
    EXPECT_EQ(err_, "wave-export: cannot write '" + name + "': it is a block device\n");
    EXPECT_EQ(out_, "") << "rendered for " << name;
  }
  struct stat st {};
  ASSERT_EQ(::lstat((dir_ / "disk.wav").c_str(), &st), 0);
  EXPECT_TRUE(S_ISBLK(st.st_mode));
  EXPECT_EQ(st.st_rdev, loop0);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.wav"));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"disk.wav", "link.wav"}));
}

TEST_F(Export, ReplacingKeepsTheAccessAclExactly) {
  if (!Installed("setfacl")) GTEST_SKIP() << "needs setfacl and getfacl (Debian: acl; ./setup.sh test installs it)";
  std::ofstream(dir_ / "tune.wav") << "old";
  std::ofstream(dir_ / "plain.wav") << "old";
  // The named user may write, the owning group may only read: the mask is not the group's bits.
  if (Run("chmod 640 tune.wav plain.wav && setfacl -m u:nobody:rw tune.wav") != 0)
    GTEST_SKIP() << "this file system has no ACLs: " << err_;
  const auto acl = [&](const char* name) { return Run(std::string("getfacl -c ") + name) == 0 ? out_ : "getfacl: " + err_; };
  const std::string before = acl("tune.wav");
  ASSERT_NE(before.find("user:nobody:rw-"), std::string::npos) << before;
  // A default ACL on the directory must not reach the replacement of a file that had none.
  ASSERT_EQ(Run("setfacl -d -m u:nobody:rw . && $EXPORT tune.wav && $EXPORT plain.wav"), 0) << err_;
  EXPECT_EQ(acl("tune.wav"), before);
  EXPECT_EQ(acl("plain.wav"), "user::rw-\ngroup::r--\nother::---\n\n");
  ExpectSong("tune.wav", SF_FORMAT_WAV);
}

// Where the new file cannot be given the old one's ACL, the old file stays as it was.
TEST_F(Export, AnAccessAclThatCannotBeKeptLeavesTheOldFile) {
  if (!Installed("setfacl")) GTEST_SKIP() << "needs setfacl (Debian: acl; ./setup.sh test installs it)";
  std::ofstream(dir_ / "tune.wav") << "old";
  if (Run("setfacl -m u:nobody:rw tune.wav") != 0) GTEST_SKIP() << "this file system has no ACLs: " << err_;
  EXPECT_EQ(Run("$RESTRICTED --no-setxattr $EXPORT tune.wav"), 1);
  EXPECT_EQ(err_, "wave-export: cannot write 'tune.wav': cannot keep its access ACL: Operation not permitted\n");
  EXPECT_EQ(ReadFile(dir_ / "tune.wav"), "old");
  EXPECT_EQ(Entries(), std::vector<std::string>{"tune.wav"});
}

TEST_F(Export, ReadOnlyTargetIsRefusedAndUntouched) {
  std::ofstream(dir_ / "tune.wav") << "old";
  fs::permissions(dir_ / "tune.wav", static_cast<fs::perms>(0444));
  // As root every file is writable (so cp replaces it too): refused to an ordinary user.
  const std::string as_user = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  fs::permissions(dir_, fs::perms::all);
  EXPECT_EQ(Run(as_user + "$EXPORT tune.wav"), 1);
  EXPECT_EQ(err_, "wave-export: cannot write 'tune.wav': Permission denied\n");
  EXPECT_EQ(ReadFile(dir_ / "tune.wav"), "old");
  EXPECT_EQ(Entries(), std::vector<std::string>{"tune.wav"});
}

TEST_F(Export, NamesOfUpTo255BytesWork) {
  const std::string name = std::string(251, 'n') + ".wav";
  ASSERT_EQ(Run("$EXPORT " + name + " && $EXPORT " + name), 0) << err_;
  ExpectSong(name, SF_FORMAT_WAV);
  EXPECT_EQ(Entries(), std::vector<std::string>{name});
}

TEST_F(Export, WritesThroughLinksAndIntoFifosAndDevices) {
  fs::create_directories(dir_ / "songs");
  std::ofstream(dir_ / "songs" / "real.wav") << "old";
  fs::create_symlink("songs/real.wav", dir_ / "link.wav");
  fs::create_symlink("link.wav", dir_ / "chain.flac");  // a link to a link; a FLAC through a .wav name
  fs::create_symlink("songs/new.aiff", dir_ / "dangling.aiff");
  fs::create_symlink("/dev/null", dir_ / "null.wav");
  ASSERT_EQ(::mkfifo((dir_ / "fifo.wav").c_str(), 0644), 0);
  ASSERT_EQ(Run("$EXPORT link.wav && $EXPORT dangling.aiff && $EXPORT null.wav && "
                "{ timeout 60 cat fifo.wav > heard.wav & $EXPORT fifo.wav; wait; }"), 0) << err_;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.wav"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.aiff"));
  EXPECT_TRUE(fs::is_fifo(dir_ / "fifo.wav"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  ExpectSong("songs/real.wav", SF_FORMAT_WAV);
  ExpectSong("songs/new.aiff", SF_FORMAT_AIFF);
  ExpectSong("heard.wav", SF_FORMAT_WAV);
  ASSERT_EQ(Run("$EXPORT chain.flac"), 0) << err_;
  EXPECT_TRUE(fs::is_symlink(dir_ / "chain.flac"));
  ExpectSong("songs/real.wav", SF_FORMAT_FLAC);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"chain.flac", "dangling.aiff", "fifo.wav", "heard.wav", "link.wav",
                                                 "null.wav", "songs"}));
}

}  // namespace
