// The prompt on Linux and other POSIX systems: a dialog on a desktop, else the terminal, else
// standard input.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/desktop_dialog.h"
#include "platform/prompt.h"

namespace {

bool GraphicalSession() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// Reads what standard input has; false at end of input or on an error that ends it.
bool ReadInput(bool& got_newline, bool& got_text) {
  char chunk[256];
  ssize_t n;
  do n = ::read(STDIN_FILENO, chunk, sizeof chunk);
  while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  for (ssize_t i = 0; i < n; ++i) (chunk[i] == '\n' ? got_newline : got_text) = true;
  return true;
}

void PrintMinutes(double seconds) {
  const int s = static_cast<int>(seconds);
  std::fprintf(stderr, "%d:%02d", s / 60, s % 60);
}

// The sentence and [OK] on the terminal, with the position redrawn in place every second.
void TerminalPrompt(const char* text, PromptProgressFn progress) {
  std::fprintf(stderr, "%s\n", text);
  bool newline = false, typed = false;
  for (;;) {
    const PromptProgress p = progress();
    std::fputs("\r[OK]", stderr);
    if (p.playing) {
      std::fputs("  ", stderr);
      PrintMinutes(p.played_seconds);
      std::fputs(" / ", stderr);
      PrintMinutes(p.total_seconds);
      std::fputs(" ", stderr);
    }
    std::fflush(stderr);
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (::poll(&in, 1, 1000) <= 0) continue;  // a second passed: redraw
    if (!ReadInput(newline, typed)) {
      std::fputs("\n", stderr);  // end of input echoes nothing; end the line ourselves
      return;
    }
    if (newline) return;  // the terminal has echoed the Enter
  }
}

// Nobody can press OK: a line on standard input stands for it. At end of input the sound plays
// to its end first.
void InputPrompt(PromptProgressFn progress) {
  bool newline = false, text = false;
  while (!newline && ReadInput(newline, text)) {
  }
  if (newline || text) return;
  while (!progress().finished) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace

void ShowPrompt(const char* text, const char* caption, PromptProgressFn progress) {
  if (GraphicalSession()) {
    std::string why;
    if (ShowDesktopDialog(text, caption, why)) return;
    std::fprintf(stderr, "wave: cannot show the dialog (%s); answering here instead\n", why.c_str());
  }
  if (::isatty(STDIN_FILENO))
    TerminalPrompt(text, progress);
  else
    InputPrompt(progress);
}
