// A private sound server of a test's own that speaks PulseAudio's protocol: PulseAudio itself,
// or PipeWire with its pulse server (and a D-Bus bus and session manager of its own). Its socket
// lives in a temporary directory, its null sinks run at 44,100 Hz so nothing is resampled, and
// nothing of the machine's is touched. Stopped and removed when the object goes.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "process.h"

class PulseServer {
 public:
  enum class Kind { PulseAudio, PipeWire };
  static const char* Name(Kind kind);
  // Empty if this machine has the programs for kind; else what is missing.
  static std::string Missing(Kind kind);

  static constexpr const char* kMissing = "needs pulseaudio, pactl and parec (./setup.sh test installs them)";
  static bool Available() { return Missing(Kind::PulseAudio).empty(); }

  // Starts the server with one null sink per name (the first is the default) and waits until it
  // answers; ready() says whether it did.
  explicit PulseServer(const std::vector<std::string>& sinks = {"a"}, Kind kind = Kind::PulseAudio);
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  bool ready() const { return ready_; }
  // Whether one of its programs ended on its own (it cannot run here at all).
  bool died() const;
  // What a client needs to reach this server and only this one.
  std::vector<std::pair<std::string, std::string>> ClientEnv() const;
  // Runs pactl against this server; returns its standard output.
  std::string Ctl(const std::string& args) const;
  // Records what plays on a sink, as its monitor hears it: signed 16-bit mono at 44,100 Hz,
  // to the returned process's standard output. Returns once the recording runs.
  std::unique_ptr<Process> Record(const std::string& sink) const;
  // Signals the process that serves the clients: SIGSTOP, SIGCONT or SIGKILL.
  void Signal(int signal) const;

 private:
  std::unique_ptr<Process> Start(std::vector<std::string> argv) const;
  bool Answers() const;

  Kind kind_;
  std::string dir_;
  std::vector<std::unique_ptr<Process>> daemons_;  // started in order, the serving one last
  bool ready_ = false;
};

// Names the kind in the tests' output.
inline void PrintTo(PulseServer::Kind kind, std::ostream* os) { *os << PulseServer::Name(kind); }
