// The desktop dialog in a process of its own (Linux): the program started again (through
// /proc/self/exe), with a socket to it on descriptor 3. Nothing of the toolkit ever runs in the
// player's own process, beside its sound threads, and the dialog is gone the moment it is ended.
// It dies with the player however the player ends, SIGKILL included (the kernel's parent-death
// signal), and so does every process it starts in turn (SDL's drawing child, zenity).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class DialogProcess {
 public:
  DialogProcess() = default;
  DialogProcess(const DialogProcess&) = delete;
  DialogProcess& operator=(const DialogProcess&) = delete;
  ~DialogProcess() { End(); }

  // Starts it with environment ("NAME=value" entries) to show text with caption. False, with
  // why, where it cannot be started.
  bool Start(const char* text, const char* caption, const std::vector<std::string>& environment, std::string& why);
  // Readable once it has answered, or ended.
  int fd() const { return socket_; }
  // Its answer, once fd is readable: true if it showed the dialog until it was dismissed; false,
  // with why, if it could not show it. Ends it.
  bool Answer(std::string& why);
  // Ends it, and with it what it drew, and collects it: at once.
  void End();

 private:
  pid_t pid_ = -1;
  int socket_ = -1;
  int status_ = 0;  // as waitpid gave it, once ended
};
