// A modal dialog on the desktop (X11 or Wayland): the part of the POSIX prompt that needs a
// toolkit. It runs in the dialog's own process (prompt/dialog_process.h), never in the player's. One
// file per backend, in prompt/: desktop_dialog_sdl.cpp, desktop_dialog_none.cpp.
#pragma once

#include <string>

// Whether this build has a desktop dialog at all.
bool DesktopDialogBuilt();

// Shows text (UTF-8, shown whatever the locale) with caption and one OK button and blocks until
// it is dismissed. False, with the reason in why, if it could not be shown. It may change the
// process's locale and environment for the toolkit: its process does nothing else.
bool ShowDesktopDialog(const char* text, const char* caption, std::string& why);
