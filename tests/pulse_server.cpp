#include "pulse_server.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;

const char* PulseServer::Name(Kind kind) { return kind == Kind::PulseAudio ? "PulseAudio" : "PipeWire"; }

std::string PulseServer::Missing(Kind kind) {
  std::vector<std::string> programs = {"pactl", "parec"};
  if (kind == Kind::PulseAudio)
    programs.push_back("pulseaudio");
  else
    programs.insert(programs.end(), {"pipewire", "pipewire-pulse", "wireplumber", "dbus-daemon"});
  std::string missing;
  for (const auto& p : programs)
    if (!Installed(p)) missing += (missing.empty() ? "" : ", ") + p;
  return missing.empty() ? "" : "needs " + missing + " (./setup.sh test installs them)";
}

PulseServer::PulseServer(const std::vector<std::string>& sinks, Kind kind) : kind_(kind) {
  char pattern[] = "/tmp/wave-pulse-XXXXXX";
  if (!::mkdtemp(pattern)) return;
  dir_ = pattern;
  ::mkdir((dir_ + "/run").c_str(), 0700);
  if (kind == Kind::PulseAudio) {
    std::vector<std::string> argv = {Which("pulseaudio"), "-n", "--daemonize=no", "--exit-idle-time=-1",
                                     "--use-pid-file=no", "-L",
                                     "module-native-protocol-unix socket=" + dir_ + "/run/native auth-anonymous=1"};
    // norewinds: what the monitor hears is what was played, never rewritten afterwards.
    for (const auto& sink : sinks)
      argv.insert(argv.end(), {"-L", "module-null-sink sink_name=" + sink + " rate=44100 norewinds=1"});
    daemons_.push_back(Start(argv));
  } else {
    // The graph runs at the block's rate, so the sinks hear it unresampled.
    std::filesystem::create_directories(dir_ + "/config/pipewire/pipewire.conf.d");
    std::ofstream(dir_ + "/config/pipewire/pipewire.conf.d/rate.conf")
        << "context.properties = { default.clock.rate = 44100 default.clock.allowed-rates = [ 44100 ] }\n";
    daemons_.push_back(Start({Which("dbus-daemon"), "--session", "--nofork", "--address=unix:path=" + dir_ + "/run/bus"}));
    WaitFor([&] { return std::filesystem::exists(dir_ + "/run/bus"); }, 5s);
    daemons_.push_back(Start({Which("pipewire")}));
    daemons_.push_back(Start({Which("wireplumber")}));
    daemons_.push_back(Start({Which("pipewire-pulse")}));
  }
  // Generous: on a loaded machine PipeWire's three programs take a while to find each other.
  ready_ = WaitFor([&] { return Answers() || died(); }, 30s) && !died();
  if (!ready_) return;
  if (kind == Kind::PipeWire) {
    for (const auto& sink : sinks) Ctl("load-module module-null-sink sink_name=" + sink + " rate=44100 channels=1 format=s16le");
    ready_ = WaitFor([&] { return Ctl("list short sinks").find(sinks.back()) != std::string::npos; }, 30s);
  }
  if (ready_ && !sinks.empty()) {
    // With PipeWire the session manager makes it the default: once it says so, it is running.
    Ctl("set-default-sink " + sinks.front());
    ready_ = WaitFor([&] { return Ctl("info").find("Default Sink: " + sinks.front() + "\n") != std::string::npos; }, 30s);
  }
}

bool PulseServer::died() const {
  for (const auto& daemon : daemons_)
    if (daemon->Wait(std::chrono::milliseconds(0))) return true;
  return false;
}

PulseServer::~PulseServer() {
  while (!daemons_.empty()) daemons_.pop_back();  // the last started goes first; each is asked, then killed
  if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

std::vector<std::pair<std::string, std::string>> PulseServer::ClientEnv() const {
  const std::string socket = kind_ == Kind::PulseAudio ? "/run/native" : "/run/pulse/native";
  return {{"PULSE_SERVER", "unix:" + dir_ + socket}, {"HOME", dir_}, {"XDG_RUNTIME_DIR", dir_ + "/run"}};
}

std::unique_ptr<Process> PulseServer::Start(std::vector<std::string> argv) const {
  ProcessOptions o;
  o.argv = std::move(argv);
  o.set_env = ClientEnv();
  o.set_env.insert(o.set_env.end(), {{"XDG_CONFIG_HOME", dir_ + "/config"},
                                     {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir_ + "/run/bus"}});
  o.unset_env = {"DISPLAY", "WAYLAND_DISPLAY", "PIPEWIRE_REMOTE"};
  o.input = Input::DevNull;
  return std::make_unique<Process>(o);
}

bool PulseServer::Answers() const { return Ctl("info").find("Server Name") != std::string::npos; }

std::string PulseServer::Ctl(const std::string& args) const {
  std::string env;
  for (const auto& [name, value] : ClientEnv()) env += name + "='" + value + "' ";
  return Shell("env " + env + "timeout 10 pactl " + args + " 2>/dev/null");
}

std::unique_ptr<Process> PulseServer::Record(const std::string& sink) const {
  ProcessOptions o;
  o.argv = {Which("parec"), "--device=" + sink + ".monitor", "--format=s16le", "--rate=44100", "--channels=1", "--raw"};
  o.set_env = ClientEnv();
  o.input = Input::DevNull;
  auto recorder = std::make_unique<Process>(o);
  // The monitor hears silence from the start: once some has come, the recording runs (PipeWire's
  // session manager links it a moment after it connects).
  WaitFor([&] { return !recorder->Stdout().empty() || recorder->Wait(0ms); }, 10s);
  return recorder;
}

void PulseServer::Signal(int signal) const {
  if (!daemons_.empty()) daemons_.back()->Signal(signal);
}
