// A virtual X server of a test's own (Xvfb), and xdotool to find and answer windows on it.
#pragma once

#include <string>

#include "process.h"

class VirtualDisplay {
 public:
  static constexpr const char* kMissing = "needs Xvfb and xdotool (./setup.sh test installs them)";
  static bool Available();

  VirtualDisplay();  // starts the server on a display number it picks itself
  const std::string& name() const { return name_; }  // for DISPLAY; empty if it did not start

  // The id of the top-level window with this title, or "" if there is none.
  std::string FindWindow(const std::string& title) const;
  // Every window's id and title, for a message when a window is missing.
  std::string WindowList() const;
  // How many of the window's pixels differ from its most common colour (its background): how
  // much is drawn in it. -1 if it cannot be read.
  long InkPixels(const std::string& window) const;
  // Focuses the window and presses Return, as a user would.
  void PressReturn(const std::string& window) const;

 private:
  Process server_;
  std::string name_;
};
