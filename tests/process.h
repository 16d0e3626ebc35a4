// Running a program under test: its input from a pipe, /dev/null or a terminal, its output
// captured, its exit code and peak memory collected.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class Input { Pipe, DevNull, Terminal };
// Standard output to a file (Stdout reads it), or to a pipe whose reader has gone already.
enum class Output { File, ClosedPipe };

struct ProcessOptions {
  std::vector<std::string> argv;
  std::vector<std::pair<std::string, std::string>> set_env;
  std::vector<std::string> unset_env;
  Input input = Input::Pipe;
  Output output = Output::File;  // not for Input::Terminal
  unsigned short terminal_columns = 80;  // Input::Terminal
};

class Process {
 public:
  explicit Process(const ProcessOptions& options);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();  // kills the program if it still runs

  // To its standard input (the pipe, or the terminal's keyboard).
  void Type(std::string_view text);
  void CloseInput();

  // Terminal only: everything the program has written to the terminal so far.
  const std::string& TerminalOutput();

  // Sends the program a signal (while it runs).
  void Signal(int signal) const;

  // Terminal only: the terminal takes this size, as a window resized by its user does (the
  // program gets SIGWINCH).
  void Resize(unsigned short rows, unsigned short columns) const;

  // Waits for the program to exit; false if it did not within timeout.
  bool Wait(std::chrono::milliseconds timeout);
  int exit_code() const { return exit_code_; }
  pid_t pid() const { return pid_; }
  long peak_rss_kib() const { return peak_rss_kib_; }

  // Captured standard output and error (not for Input::Terminal, where both go to the terminal).
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  pid_t pid_ = -1;
  int input_fd_ = -1;     // pipe write end or terminal master
  int terminal_fd_ = -1;  // terminal master, for reading
  std::string terminal_output_;
  std::string out_path_, err_path_;
  int exit_code_ = -1;
  long peak_rss_kib_ = 0;
};

// The processes whose environment holds entry ("NAME=value"): a run and everything it started,
// when the run's environment has an entry of its own.
std::vector<pid_t> ProcessesWithEnvironment(const std::string& entry);

// Runs a shell command and returns its standard output.
std::string Shell(const std::string& command);
// Where a program is on the PATH; empty if it is not.
std::string Which(const std::string& program);
bool Installed(const std::string& program);

// Polls condition every few milliseconds until it holds or timeout passes.
template <typename F>
bool WaitFor(F condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    struct timespec pause = {0, 5'000'000};
    nanosleep(&pause, nullptr);
  }
  return true;
}
