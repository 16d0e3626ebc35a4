// The desktop dialog through SDL's message box.
#include <SDL.h>

#include "platform/desktop_dialog.h"

bool ShowDesktopDialog(const char* text, const char* caption, std::string& why) {
  if (SDL_ShowSimpleMessageBox(0, caption, text, nullptr) == 0) return true;
  why = SDL_GetError();
  return false;
}
