#include "platform/prompt/display_question.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/shown_name.h"

namespace {

// X11's connection setup, little-endian, with no authorisation: a server answers it at once,
// with its setup or a refusal; either is an answer.
constexpr unsigned char kX11Setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
// Wayland's wl_display.sync (object 1, request 0, 12 bytes) for callback object 2: answered by
// wl_callback.done.
constexpr unsigned char kWaylandSync[12] = {1, 0, 0, 0, 0, 0, 12, 0, 2, 0, 0, 0};

int Socket(int family) { return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }

// Connects fd to a unix socket; path starting with '\0' is in the abstract namespace.
bool ConnectUnix(int fd, const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + (path[0] ? 1 : 0));
  return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
}

// "[protocol/][host]:display[.screen]": the host ("" or "unix" for this machine's socket) and
// the display's number. False where the name is no display.
bool ParseX11(const std::string& name, std::string& host, int& number) {
  std::string rest = name;
  const auto slash = rest.find('/');
  if (slash != std::string::npos) {
    const std::string protocol = rest.substr(0, slash);
    if (protocol != "unix" && protocol != "tcp" && protocol != "inet" && protocol != "inet6") return false;
    rest = rest.substr(slash + 1);
    if (protocol == "unix" && !rest.empty() && rest[0] != ':') return false;
  }
  const auto colon = rest.rfind(':');
  if (colon == std::string::npos || colon + 1 >= rest.size()) return false;
  host = rest.substr(0, colon);
  char* end = nullptr;
  const long n = std::strtol(rest.c_str() + colon + 1, &end, 10);
  if (end == rest.c_str() + colon + 1 || (*end != '\0' && *end != '.') || n < 0 || n > 65535 - 6000) return false;
  number = static_cast<int>(n);
  return true;
}

}  // namespace

DisplayQuestion::DisplayQuestion(Kind kind, std::string name, Clock::time_point deadline)
    : kind_(kind), name_(std::move(name)), deadline_(deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  seconds_ = static_cast<int>((left + 999) / 1000);
  reachable_ = Connect();
  if (!reachable_ || !connected_) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
}

DisplayQuestion::~DisplayQuestion() {
  if (fd_ >= 0) ::close(fd_);
}

bool DisplayQuestion::Send() {
  const unsigned char* request = kind_ == Kind::X11 ? kX11Setup : kWaylandSync;
  sent_ = ::send(fd_, request, sizeof kX11Setup, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof kX11Setup);
  if (!sent_) unreachable_ += std::string(": ") + std::strerror(errno);
  return sent_;
}

// The connection, and the request where the connection is made at once (a local socket). False,
// with unreachable_, where there is no server there. A server whose queue of connections is
// full (EAGAIN) takes none: as silent as a server gets.
bool DisplayQuestion::Connect() {
  const auto local = [&](const std::string& path) {
    if ((fd_ = Socket(AF_UNIX)) < 0) return false;
    if (ConnectUnix(fd_, path)) return connected_ = true;
    ::close(fd_);
    fd_ = -1;
    return false;
  };
  if (kind_ == Kind::Wayland) {
    unreachable_ = "cannot open the Wayland display " + Shown(name_);
    std::string path = name_;
    if (path[0] != '/') {
      const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      if (!runtime || !*runtime) return (unreachable_ += ": XDG_RUNTIME_DIR is not set", false);
      path = std::string(runtime) + "/" + path;
    }
    if (local(path)) return Send();
    if (errno == EAGAIN) return true;
    unreachable_ += std::string(": ") + std::strerror(errno);
    return false;
  }
  unreachable_ = "cannot open display " + Shown(name_);
  std::string host;
  int number = 0;
  if (!ParseX11(name_, host, number)) return false;
  if (host.empty() || host == "unix") {
    // Where Xlib looks, in its order: the abstract socket, then the file.
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    if (local(std::string(1, '\0') + path) || local(path)) return Send();
    return errno == EAGAIN;
  }
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(6000 + number).c_str(), &hints, &found) != 0 || !found) return false;
  fd_ = Socket(found->ai_family);
  connected_ = fd_ >= 0 && ::connect(fd_, found->ai_addr, found->ai_addrlen) == 0;
  const bool underway = fd_ >= 0 && !connected_ && errno == EINPROGRESS;
  ::freeaddrinfo(found);
  if (connected_) return Send();
  connected_ = underway;  // the request goes once the connection is made
  return underway;
}

DisplayQuestion::Answer DisplayQuestion::Await(int stop_fd, std::string& why) {
  for (;;) {
    if (!reachable_) {
      why = unreachable_;
      return Answer::Unreachable;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    pollfd fds[2] = {{stop_fd, POLLIN, 0}, {fd_, static_cast<short>(sent_ ? POLLIN : POLLOUT), 0}};
    const int n = ::poll(fds, fd_ >= 0 ? 2 : 1, left > 0 ? static_cast<int>(left) : 0);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0 && fds[0].revents != 0) return Answer::Stopped;
    if (n <= 0) {
      why = (kind_ == Kind::X11 ? "the display " : "the Wayland display ") + Shown(name_) + " did not answer in " +
            std::to_string(seconds_) + " s";
      return Answer::Silent;
    }
    if (!sent_) {  // the TCP connection is made, or refused
      int error = 0;
      socklen_t size = sizeof error;
      ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
      if (error != 0) unreachable_ += std::string(": ") + std::strerror(error);
      reachable_ = error == 0 && Send();
      continue;
    }
    unsigned char reply[64];
    const ssize_t got = ::recv(fd_, reply, sizeof reply, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got > 0) {
      ::close(fd_);
      fd_ = -1;
      return Answer::Answered;
    }
    unreachable_ += got == 0 ? ": the server closed the connection" : std::string(": ") + std::strerror(errno);
    reachable_ = false;
  }
}
