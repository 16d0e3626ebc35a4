#include "pulse_server.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>


using namespace std::chrono_literals;

bool PulseServer::Available() { return Installed("pulseaudio") && Installed("pactl") && Installed("parec"); }

PulseServer::PulseServer(const std::vector<std::string>& sinks) {
  char pattern[] = "/tmp/wave-pulse-XXXXXX";
  if (!::mkdtemp(pattern)) return;
  dir_ = pattern;
  ::mkdir((dir_ + "/run").c_str(), 0700);
  ProcessOptions o;
  o.argv = {Which("pulseaudio"), "-n",
            "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr",
            "-L", "module-native-protocol-unix socket=" + dir_ + "/run/native auth-anonymous=1"};
  // norewinds: what the monitor hears is what was played, never rewritten afterwards.
  for (const auto& sink : sinks) o.argv.insert(o.argv.end(), {"-L", "module-null-sink sink_name=" + sink + " norewinds=1"});
  o.set_env = ClientEnv();
  o.unset_env = {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"};
  o.input = Input::DevNull;
  server_ = std::make_unique<Process>(o);
  ready_ = WaitFor([&] { return Ctl("info").find("Server Name") != std::string::npos || server_->Wait(0ms); }, 10s) &&
           !server_->Wait(0ms);
  if (ready_ && !sinks.empty()) Ctl("set-default-sink " + sinks.front());
}

PulseServer::~PulseServer() {
  server_.reset();  // asks it to end, then kills it
  if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

std::vector<std::pair<std::string, std::string>> PulseServer::ClientEnv() const {
  return {{"PULSE_SERVER", "unix:" + dir_ + "/run/native"}, {"HOME", dir_}, {"XDG_RUNTIME_DIR", dir_ + "/run"}};
}

std::string PulseServer::Ctl(const std::string& args) const {
  std::string env;
  for (const auto& [name, value] : ClientEnv()) env += name + "='" + value + "' ";
  return Shell("env " + env + "timeout 10 pactl " + args + " 2>/dev/null");
}

std::unique_ptr<Process> PulseServer::Record(const std::string& sink) const {
  ProcessOptions o;
  o.argv = {Which("parec"), "--device=" + sink + ".monitor",
            "--format=s16le", "--rate=44100", "--channels=1", "--raw"};
  o.set_env = ClientEnv();
  o.input = Input::DevNull;
  return std::make_unique<Process>(o);
}

void PulseServer::Signal(int signal) const {
  if (server_) server_->Signal(signal);
}
