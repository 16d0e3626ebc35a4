// A build without a desktop toolkit: the prompt answers on the terminal or standard input.
#include "platform/desktop_dialog.h"

bool DesktopDialogBuilt() { return false; }

bool ShowDesktopDialog(const char*, const char*, std::string& why) {
  why = "this build has no desktop dialog";
  return false;
}
