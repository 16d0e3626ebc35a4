#include "virtual_display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <map>

using namespace std::chrono_literals;

bool VirtualDisplay::Available() { return Installed("Xvfb") && Installed("xdotool"); }

VirtualDisplay::VirtualDisplay()
    // -noreset: an X server resets when its last client leaves, and a client connecting during the
    // reset (the program under test, just after an xdotool query) is turned away.
    : server_({{"/usr/bin/Xvfb", "-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", "800x600x24"},
               {},
               {},
               Input::DevNull}) {
  // With -displayfd the server writes its display number once it accepts clients.
  WaitFor([&] { return server_.Stdout().find('\n') != std::string::npos; }, 20s);
  const std::string number = server_.Stdout();
  if (!number.empty()) name_.append(":").append(number, 0, number.find('\n'));
}

std::string VirtualDisplay::WindowList() const {
  // xdotool's own --name search misses titles set only as UTF8_STRING, so each name is asked.
  return Shell("export DISPLAY=" + name_ +
               "; for w in $(xdotool search --classname '.*' 2>/dev/null); do echo \"$w $(xdotool getwindowname $w)\"; done");
}

std::string VirtualDisplay::FindWindow(const std::string& title) const {
  const std::string list = WindowList();
  const std::string suffix = " " + title + "\n";
  for (std::size_t start = 0, end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = list.substr(start, end + 1 - start);
    if (line.size() > suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
      return line.substr(0, line.size() - suffix.size());
  }
  return "";
}

void VirtualDisplay::PressReturn(const std::string& window) const {
  Shell("export DISPLAY=" + name_ + "; xdotool windowfocus --sync " + window + " && xdotool key Return");
}

long VirtualDisplay::InkPixels(const std::string& window) const {
  Display* display = XOpenDisplay(name_.c_str());
  if (!display) return -1;
  long ink = -1;
  const Window id = std::stoul(window);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, id, &attributes)) {
    if (XImage* image = XGetImage(display, id, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap)) {
      std::map<unsigned long, long> counts;
      for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x) ++counts[XGetPixel(image, x, y)];
      long background = 0;
      for (const auto& [pixel, count] : counts) background = std::max(background, count);
      ink = static_cast<long>(attributes.width) * attributes.height - background;
      XDestroyImage(image);
    }
  }
  XCloseDisplay(display);
  return ink;
}
