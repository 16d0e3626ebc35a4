// A modal dialog on the desktop (X11 or Wayland): the part of the POSIX prompt that needs a
// toolkit. One file per backend: desktop_dialog_sdl.cpp, desktop_dialog_none.cpp.
#pragma once

#include <string>

// Shows text (UTF-8, shown whatever the locale) with caption and one OK button and blocks until
// it is dismissed. False, with the reason in why, if it could not be shown.
bool ShowDesktopDialog(const char* text, const char* caption, std::string& why);

// Called from another thread while ShowDesktopDialog blocks, just before the program ends: ends
// any helper process the dialog runs, so that nothing of it outlives the program.
void EndDesktopDialogHelpers();
