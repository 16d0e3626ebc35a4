#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "test_support.h"

namespace {

int counter = 0;

std::string TempPath(const char* what) {
  return "/tmp/wave-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + what;
}

[[noreturn]] void ExecChild(const ProcessOptions& options) {
  // As an interactive shell starts it: the tests ignore SIGPIPE themselves (see Type), and a
  // test run from nohup or as a background job inherits SIGHUP or SIGINT and SIGQUIT ignored,
  // which the program would rightly keep.
  for (const int signal : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM}) ::signal(signal, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (const auto& name : options.unset_env) ::unsetenv(name.c_str());
  for (const auto& [name, value] : options.set_env) ::setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> argv;
  for (const auto& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
#ifdef WAVE_TEST_EMULATOR
  if (errno == ENOEXEC) {
    // A program for another processor, and no binfmt handler here that would start its
    // emulator: start it ourselves.
    argv.insert(argv.begin(), const_cast<char*>(kEmulator));
    ::execvp(kEmulator, argv.data());
  }
#endif
  std::perror("execv");
  ::_exit(127);
}

}  // namespace

std::string Shell(const std::string& command) {
  std::string out;
  if (std::FILE* p = ::popen(command.c_str(), "r")) {
    char chunk[256];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, p)) > 0;) out.append(chunk, n);
    ::pclose(p);
  }
  return out;
}

std::string Which(const std::string& program) {
  std::string path = Shell("command -v " + program);
  if (!path.empty() && path.back() == '\n') path.pop_back();
  return path;
}

bool Installed(const std::string& program) { return !Which(program).empty(); }

std::vector<pid_t> ProcessesWithEnvironment(const std::string& entry) {
  std::vector<pid_t> found;
  std::error_code ec;  // processes come and go while the folder is read
  for (auto dir = std::filesystem::directory_iterator("/proc", ec); !ec && dir != std::filesystem::directory_iterator();
       dir.increment(ec)) {
    const std::string name = dir->path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string environment = ReadFile(dir->path() / "environ");  // empty for a zombie
    for (std::size_t at = 0; at < environment.size();) {
      const std::size_t end = std::min(environment.find('\0', at), environment.size());
      if (environment.compare(at, end - at, entry) == 0) {
        found.push_back(static_cast<pid_t>(std::stol(name)));
        break;
      }
      at = end + 1;
    }
  }
  return found;
}

Process::Process(const ProcessOptions& options) {
  if (options.input == Input::Terminal) {
    struct winsize size = {24, options.terminal_columns, 0, 0};
    pid_ = ::forkpty(&terminal_fd_, nullptr, nullptr, &size);
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    if (pid_ == 0) ExecChild(options);
    input_fd_ = terminal_fd_;
    return;
  }
  out_path_ = TempPath("stdout");
  err_path_ = TempPath("stderr");
  int in_pipe[2] = {-1, -1}, out_pipe[2] = {-1, -1};
  if (options.input == Input::Pipe && ::pipe2(in_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (options.output == Output::ClosedPipe) {
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    ::close(out_pipe[0]);  // no reader, from the start
  }
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int in = options.input == Input::Pipe ? in_pipe[0] : ::open("/dev/null", O_RDONLY);
    ::dup2(in, STDIN_FILENO);
    ::dup2(options.output == Output::ClosedPipe ? out_pipe[1] : ::open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
           STDOUT_FILENO);
    ::dup2(::open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
    ExecChild(options);
  }
  if (options.input == Input::Pipe) {
    ::close(in_pipe[0]);
    input_fd_ = in_pipe[1];
  }
  if (out_pipe[1] >= 0) ::close(out_pipe[1]);
}

Process::~Process() {
  if (pid_ > 0 && exit_code_ < 0) {
    // Asked first, so that a server can remove its lock and socket files.
    ::kill(pid_, SIGTERM);
    if (!Wait(std::chrono::seconds(5))) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  if (input_fd_ >= 0) ::close(input_fd_);
  if (!out_path_.empty()) std::remove(out_path_.c_str());
  if (!err_path_.empty()) std::remove(err_path_.c_str());
}

void Process::Type(std::string_view text) {
  // A program that has already gone must fail the test, not kill it with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  while (!text.empty()) {
    const ssize_t n = ::write(input_fd_, text.data(), text.size());
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

void Process::Signal(int signal) const {
  if (pid_ > 0 && exit_code_ < 0) ::kill(pid_, signal);
}

void Process::Resize(unsigned short rows, unsigned short columns) const {
  struct winsize size = {rows, columns, 0, 0};
  if (terminal_fd_ >= 0) ::ioctl(terminal_fd_, TIOCSWINSZ, &size);
}

void Process::CloseInput() {
  if (input_fd_ >= 0 && input_fd_ != terminal_fd_) ::close(input_fd_);
  if (input_fd_ != terminal_fd_) input_fd_ = -1;
}

const std::string& Process::TerminalOutput() {
  pollfd p{terminal_fd_, POLLIN, 0};
  char chunk[4096];
  while (terminal_fd_ >= 0 && ::poll(&p, 1, 0) > 0) {
    const ssize_t n = ::read(terminal_fd_, chunk, sizeof chunk);
    if (n <= 0) break;  // EIO once the program has gone and closed the terminal
    terminal_output_.append(chunk, static_cast<std::size_t>(n));
  }
  return terminal_output_;
}

bool Process::Wait(std::chrono::milliseconds timeout) {
  if (exit_code_ >= 0) return true;
  return WaitFor(
      [&] {
        if (terminal_fd_ >= 0) TerminalOutput();  // keep the terminal drained
        int status = 0;
        struct rusage usage {};
        if (::wait4(pid_, &status, WNOHANG, &usage) != pid_) return false;
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        peak_rss_kib_ = usage.ru_maxrss;
        return true;
      },
      timeout);
}

std::string Process::Stdout() const { return ReadFile(out_path_); }
std::string Process::Stderr() const { return ReadFile(err_path_); }
