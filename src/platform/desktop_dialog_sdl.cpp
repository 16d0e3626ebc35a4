// The desktop dialog through SDL's message box: drawn on X11 by a child that SDL forks, on
// Wayland by its helper process zenity.
#include <SDL.h>
#include <dirent.h>
#include <langinfo.h>
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/desktop_dialog.h"

namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Xlib draws the text in the locale's character set, which SDL takes from the environment when
// it shows the box; in the C locale that has no glyphs for the sentence and the box stays empty.
// So the environment is told UTF-8 where it says otherwise.
void AskForUtf8() {
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) ::setenv("LC_ALL", "C.UTF-8", 1);
}

}  // namespace

namespace {

bool ShowDialog(const char* text, const char* caption, std::string& why) {
  AskForUtf8();
  // On X11 alone, the display first: where it cannot be opened SDL would go on to zenity and
  // report only its exit code.
  if (Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
    if (SDL_VideoInit("x11") != 0) {
      why = std::string("cannot open display ") + std::getenv("DISPLAY");
      return false;
    }
    SDL_VideoQuit();
  }
  if (SDL_ShowSimpleMessageBox(0, caption, text, nullptr) == 0) return true;
  why = SDL_GetError();
  return false;
}

}  // namespace

bool ShowDesktopDialog(const char* text, const char* caption, std::string& why) {
  const bool shown = ShowDialog(text, caption, why);
  SDL_TLSCleanup();  // SDL's per-thread state (its error text) on a thread SDL did not start
  return shown;
}

void EndDesktopDialogHelpers() {
#ifdef __linux__
  // The helper is a child of ours (the player starts no other). SIGKILL: a forked child still has
  // our handlers, which would only note the request.
  DIR* proc = ::opendir("/proc");
  if (!proc) return;
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
    if (pid <= 0) continue;
    std::string line;
    std::getline(std::ifstream(std::string("/proc/") + entry->d_name + "/stat"), line);
    const auto name_end = line.rfind(')');  // "pid (name) state ppid ...", the name may hold anything
    if (name_end == std::string::npos) continue;
    std::istringstream rest(line.substr(name_end + 1));
    char state = 0;
    long parent = 0;
    if (rest >> state >> parent && parent == self) ::kill(pid, SIGKILL);
  }
  ::closedir(proc);
#endif
}
