// The desktop dialog through SDL's message box: drawn on X11 by a child that SDL forks, on
// Wayland by its helper process zenity.
#include <SDL.h>
#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "common/shown_name.h"
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

bool DesktopDialogBuilt() { return true; }

bool ShowDesktopDialog(const char* text, const char* caption, std::string& why) {
  AskForUtf8();
  // On X11 alone, the display first: where it cannot be opened SDL would go on to zenity and
  // report only its exit code.
  if (Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
    if (SDL_VideoInit("x11") != 0) {
      why = "cannot open display " + Shown(std::getenv("DISPLAY"));
      return false;
    }
    SDL_VideoQuit();
  }
  if (SDL_ShowSimpleMessageBox(0, caption, text, nullptr) == 0) return true;
  why = SDL_GetError();
  return false;
}
