// Whether a desktop's display server answers (POSIX): a request that every server of its kind
// answers goes out at once, without waiting, and the answer is looked for when it is needed, up
// to a deadline. A server that takes the connection and never answers would otherwise keep the
// dialog, and the player, waiting for ever.
#pragma once

#include <chrono>
#include <string>

class DisplayQuestion {
 public:
  enum class Kind { X11, Wayland };  // DISPLAY, WAYLAND_DISPLAY
  enum class Answer { Answered, Unreachable, Silent, Stopped };
  using Clock = std::chrono::steady_clock;

  // Connects to the display that name (as the variable holds it) names and asks; the answer is
  // due by deadline.
  DisplayQuestion(Kind kind, std::string name, Clock::time_point deadline);
  ~DisplayQuestion();
  DisplayQuestion(const DisplayQuestion&) = delete;
  DisplayQuestion& operator=(const DisplayQuestion&) = delete;

  Kind kind() const { return kind_; }
  // Waits until the server answers, turns out unreachable, or the deadline passes; Stopped as soon
  // as stop_fd is readable. Otherwise why says what the server did ("cannot open display ':5'",
  // "the display ':5' did not answer in 3 s").
  Answer Await(int stop_fd, std::string& why);

 private:
  bool Connect();
  bool Send();

  Kind kind_;
  std::string name_;
  Clock::time_point deadline_;
  int seconds_;  // from now to the deadline, for the message
  int fd_ = -1;
  bool connected_ = false;  // or, for TCP, on its way
  bool sent_ = false;       // the request has gone out
  bool reachable_ = false;  // no server there, or none that can be spoken to: unreachable_ says why
  std::string unreachable_;
};
