// A private PulseAudio server of a test's own: its socket in a temporary directory, null sinks
// to play into, nothing of the machine's touched. Stopped and removed when the object goes.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "process.h"

class PulseServer {
 public:
  static constexpr const char* kMissing = "needs pulseaudio, pactl and parec (./setup.sh test installs them)";
  static bool Available();

  // Starts the server with one null sink per name (the first is the default) and waits until it
  // answers; ready() says whether it did.
  explicit PulseServer(const std::vector<std::string>& sinks = {"a"});
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  bool ready() const { return ready_; }
  // What a client needs to reach this server and only this one.
  std::vector<std::pair<std::string, std::string>> ClientEnv() const;
  // Runs pactl against this server; returns its standard output.
  std::string Ctl(const std::string& args) const;
  // Records what plays on a sink, as its monitor hears it: signed 16-bit mono at 44,100 Hz,
  // to the returned process's standard output.
  std::unique_ptr<Process> Record(const std::string& sink) const;
  // Signals the server: SIGSTOP, SIGCONT or SIGKILL.
  void Signal(int signal) const;

 private:
  std::string dir_;
  std::unique_ptr<Process> server_;
  bool ready_ = false;
};
