#include "socket_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <vector>

SocketServer::SocketServer(std::string path, Reply reply) : path_(std::move(path)), reply_(reply) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.empty() || path_.size() >= sizeof address.sun_path || ::pipe(stop_) != 0) return;
  std::memcpy(address.sun_path, path_.data(), path_.size());
  const bool abstract = path_[0] == '@';
  if (abstract) address.sun_path[0] = '\0';
  else ::unlink(path_.c_str());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path_.size() + (abstract ? 0 : 1));
  listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) return;
  if (::bind(listen_fd_, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(listen_fd_, 16) != 0) {
    ::close(listen_fd_);
    listen_fd_ = -1;
    return;
  }
  thread_ = std::thread([this] { Serve(); });
}

SocketServer::~SocketServer() {
  if (thread_.joinable()) {
    [[maybe_unused]] const auto n = ::write(stop_[1], "", 1);
    thread_.join();
  }
  if (listen_fd_ >= 0) ::close(listen_fd_);
  for (const int fd : stop_)
    if (fd >= 0) ::close(fd);
  if (!path_.empty() && path_[0] != '@') ::unlink(path_.c_str());
}

void SocketServer::Serve() {
  std::vector<pollfd> fds = {{stop_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
  while (::poll(fds.data(), fds.size(), -1) >= 0 && fds[0].revents == 0) {
    if (fds[1].revents & POLLIN) {
      const int client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        // Never: what it sends is left unread, but its hanging up is seen.
        fds.push_back({client, static_cast<short>(reply_ == Reply::Never ? 0 : POLLIN), 0});
        ++connections_;
      }
    }
    for (std::size_t i = 2; i < fds.size();) {
      char chunk[256];
      const bool gone = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) &&
                        (::read(fds[i].fd, chunk, sizeof chunk) <= 0 ||
                         (reply_ == Reply::Something && ::send(fds[i].fd, "ok", 2, MSG_NOSIGNAL) != 2));
      if (!gone) {
        ++i;
        continue;
      }
      ::close(fds[i].fd);
      fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  for (std::size_t i = 2; i < fds.size(); ++i) ::close(fds[i].fd);
}
