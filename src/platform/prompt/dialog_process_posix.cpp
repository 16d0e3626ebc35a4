#include "platform/prompt/dialog_process.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/desktop_dialog.h"
#include "platform/prompt.h"

namespace {

// Names the dialog's process to itself: the player's process id, which must be its parent's.
constexpr const char* kMarker = "WAVE_DIALOG_PROCESS";
constexpr int kSocket = 3;  // the dialog's end of the socket, in its process

// Between the dialog's process and each child it forks (SDL's drawing child, zenity): the child
// dies with it, and one forked just as it was ending does not outlive it either.
pid_t dialog_pid = -1;
void DieWithTheDialog() {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != dialog_pid) ::_exit(1);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until end of input, or until the message has `fields` NUL-terminated fields.
std::string ReadMessage(int fd, int fields) {
  std::string message;
  char chunk[512];
  for (;;) {
    int ends = 0;
    for (const char c : message) ends += c == '\0';
    if (ends >= fields) return message;
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return message;
    message.append(chunk, static_cast<std::size_t>(n));
  }
}

// In the child between fork and exec: only calls that are safe after a fork of a process with
// threads.
[[noreturn]] void BecomeTheDialog(pid_t player, int socket, int null, char* const argv[], char* const envp[]) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != player) ::_exit(127);  // the player has gone already
  // The player's standard output carries its console lines alone; standard error stays shared.
  ::dup2(null, STDIN_FILENO);
  ::dup2(null, STDOUT_FILENO);
  if (socket == kSocket)
    ::fcntl(kSocket, F_SETFD, 0);
  else
    ::dup2(socket, kSocket);
  ::close_range(kSocket + 1, ~0U, 0);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &default_action, nullptr);  // the player ignores it; zenity should not
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execve("/proc/self/exe", argv, envp);
  ::_exit(127);
}

}  // namespace

bool DialogProcess::Start(const char* text, const char* caption, const std::vector<std::string>& environment,
                          std::string& why) {
  End();
  int sockets[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
    why = std::string("cannot start its process: ") + std::strerror(errno);
    return false;
  }
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  // Everything the child needs, made before the fork.
  const pid_t player = ::getpid();
  std::vector<std::string> env_strings = environment;
  env_strings.push_back(std::string(kMarker) + "=" + std::to_string(player));
  std::vector<char*> envp;
  for (auto& entry : env_strings) envp.push_back(entry.data());
  envp.push_back(nullptr);
  char name[] = "wave";
  char* argv[] = {name, nullptr};
  // The request: caption and text, each ending in a NUL. It waits in the socket for the child.
  const bool asked = WriteAll(sockets[0], std::string(caption) + '\0' + text + '\0');

  pid_ = asked && null >= 0 ? ::fork() : -1;
  if (pid_ == 0) BecomeTheDialog(player, sockets[1], null, argv, envp.data());
  const int error = errno;
  ::close(sockets[1]);
  if (null >= 0) ::close(null);
  if (pid_ < 0) {
    ::close(sockets[0]);
    why = std::string("cannot start its process: ") + std::strerror(error);
    return false;
  }
  socket_ = sockets[0];
  return true;
}

bool DialogProcess::Answer(std::string& why) {
  const std::string reply = ReadMessage(socket_, 1);
  End();
  if (!reply.empty() && reply[0] == '1') return true;
  if (reply.size() > 1) {
    why.assign(reply, 1, reply.size() - 2);
  } else if (WIFEXITED(status_) && WEXITSTATUS(status_) == 127) {
    why = "its process could not be started";
  } else if (WIFSIGNALED(status_)) {
    why = "its process ended by signal " + std::to_string(WTERMSIG(status_));
  } else {
    why = "its process ended with status " + std::to_string(WEXITSTATUS(status_));
  }
  return false;
}

void DialogProcess::End() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);  // what it drew goes with it: its children die with it
    while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
}

bool IsDialogProcess() {
  const char* marker = std::getenv(kMarker);
  return marker && std::atol(marker) == static_cast<long>(::getppid()) && ::fcntl(kSocket, F_GETFD) != -1;
}

int RunDialogProcess() {
  ::prctl(PR_SET_NAME, "wave");  // started as /proc/self/exe, it would be called "exe"
  ::unsetenv(kMarker);           // not for what it starts
  const std::string request = ReadMessage(kSocket, 2);
  const auto split = request.find('\0');
  if (split == std::string::npos || split + 1 >= request.size()) return 1;
  const std::string caption = request.substr(0, split);
  const std::string text = request.substr(split + 1, request.size() - split - 2);
  dialog_pid = ::getpid();
  ::pthread_atfork(nullptr, nullptr, DieWithTheDialog);
  std::string why;
  const bool shown = ShowDesktopDialog(text.c_str(), caption.c_str(), why);
  WriteAll(kSocket, shown ? std::string("1", 2) : "0" + why + '\0');
  // Answered, and done: nothing of the toolkit is torn down, the player ends this process anyway.
  ::_exit(0);
}
