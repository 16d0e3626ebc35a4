// A unix socket server of a test's own that takes every connection and then never answers, or
// answers whatever comes with a few bytes: a sound server or display that has stopped, or one
// that does no more than answer. Serves on a thread of the test's until the object goes.
#pragma once

#include <atomic>
#include <string>
#include <thread>

class SocketServer {
 public:
  enum class Reply { Never, Something };
  // path: a file's name, or, starting with '@', a name in Linux's abstract namespace (where
  // Xlib looks first).
  SocketServer(std::string path, Reply reply);
  ~SocketServer();
  SocketServer(const SocketServer&) = delete;
  SocketServer& operator=(const SocketServer&) = delete;

  bool listening() const { return listen_fd_ >= 0; }
  int connections() const { return connections_; }  // taken so far

 private:
  void Serve();

  std::string path_;
  Reply reply_;
  int listen_fd_ = -1;
  int stop_[2] = {-1, -1};
  std::atomic<int> connections_{0};
  std::thread thread_;
};
