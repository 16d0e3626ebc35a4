// The prompt on Linux and other POSIX systems: a dialog on a desktop, else the terminal, else
// standard input. Each waits on its input and on the stop pipe, which the ending signals fill.
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "common/ending_signals.h"
#include "platform/desktop_dialog.h"
#include "platform/prompt.h"

namespace {

int stop_pipe[2] = {-1, -1};  // readable once an ending signal has come

void NoteStop(int) {
  const int saved = errno;
  [[maybe_unused]] const auto n = ::write(stop_pipe[1], "", 1);
  errno = saved;
}

bool GraphicalSession() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// Waits up to timeout_ms for fd to have input. False if an ending signal came first or comes
// meanwhile; ready says whether fd has input.
bool WaitForInput(int fd, int timeout_ms, bool& ready) {
  pollfd fds[2] = {{stop_pipe[0], POLLIN, 0}, {fd, POLLIN, 0}};
  int n;
  do n = ::poll(fds, fd >= 0 ? 2 : 1, timeout_ms);
  while (n < 0 && errno == EINTR);
  ready = n > 0 && fds[1].revents != 0;
  return !(n > 0 && fds[0].revents != 0);
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

// The text in the terminal's character set, or ascii_text where that set cannot show it: never
// bytes the terminal would take for controls.
std::string ForTerminal(const char* text, const char* ascii_text) {
  std::setlocale(LC_CTYPE, "");
  const char* charset = nl_langinfo(CODESET);
  if (std::strcmp(charset, "UTF-8") == 0) return text;
  const iconv_t convert = ::iconv_open(charset, "UTF-8");
  if (convert == reinterpret_cast<iconv_t>(-1)) return ascii_text;
  std::string in = text, out(4 * in.size() + 16, '\0');
  char* in_at = in.data();
  char* out_at = out.data();
  std::size_t in_left = in.size(), out_left = out.size();
  const bool converted = ::iconv(convert, &in_at, &in_left, &out_at, &out_left) != static_cast<std::size_t>(-1) &&
                         ::iconv(convert, nullptr, nullptr, &out_at, &out_left) != static_cast<std::size_t>(-1);
  ::iconv_close(convert);
  if (!converted) return ascii_text;
  out.resize(out.size() - out_left);
  return out;
}

void PrintMinutes(std::FILE* out, double seconds) {
  const int s = static_cast<int>(seconds);
  std::fprintf(out, "%d:%02d", s / 60, s % 60);
}

// The sentence and [OK] on the terminal, with the position redrawn in place every second.
void TerminalPrompt(std::FILE* out, const std::string& text, PromptProgressFn progress) {
  std::fprintf(out, "%s\n", text.c_str());
  bool newline = false, typed = false;
  for (;;) {
    const PromptProgress p = progress();
    std::fputs("\r[OK]", out);
    if (p.device_open) {
      std::fputs("  ", out);
      PrintMinutes(out, p.played_seconds);
      std::fputs(" / ", out);
      PrintMinutes(out, p.total_seconds);
      std::fputs(" ", out);
    }
    std::fflush(out);
    bool ready = false;
    if (!WaitForInput(STDIN_FILENO, 1000, ready)) break;
    if (!ready) continue;  // a second passed: redraw
    if (!ReadInput(newline, typed)) break;  // end of input echoes nothing; end the line ourselves
    if (newline) return;  // the terminal has echoed the Enter
  }
  std::fputs("\n", out);
  std::fflush(out);
}

// Nobody can press OK: a line on standard input stands for it. At end of input the sound plays
// to its end first.
void InputPrompt(PromptProgressFn progress) {
  bool newline = false, text = false, ready = false;
  while (!newline) {
    if (!WaitForInput(STDIN_FILENO, -1, ready)) return;
    if (!ReadInput(newline, text)) break;
  }
  if (newline || text) return;
  while (!progress().finished)
    if (!WaitForInput(-1, 50, ready)) return;
}

// The dialog on a thread of its own, so that an ending signal can end the wait for it. False,
// with why, if it could not be shown.
bool DesktopPrompt(const char* text, const char* caption, std::string& why) {
  int done[2];
  if (::pipe2(done, O_CLOEXEC) != 0) return ShowDesktopDialog(text, caption, why);
  // Shared with the thread, which may outlive this call.
  struct Outcome {
    bool shown = false;
    std::string why;
  };
  const auto outcome = std::make_shared<Outcome>();
  std::thread dialog([outcome, text, caption, done_write = done[1]] {
    outcome->shown = ShowDesktopDialog(text, caption, outcome->why);
    ::close(done_write);
  });
  bool ready = false;
  const bool dismissed = WaitForInput(done[0], -1, ready);
  ::close(done[0]);
  if (!dismissed) {
    // Stopped: the helper goes now; a dialog drawn by this process goes when it ends.
    EndDesktopDialogHelpers();
    dialog.detach();
    return true;
  }
  dialog.join();
  why = outcome->why;
  return outcome->shown;
}

}  // namespace

void EndPromptOnSignals() {
  if (::pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  HandleEndingSignals(NoteStop);
}

void ShowPrompt(const char* text, const char* ascii_text, const char* caption, PromptProgressFn progress) {
  if (GraphicalSession()) {
    std::string why;
    if (DesktopPrompt(text, caption, why)) return;
    std::fprintf(stderr, "wave: cannot show the dialog (%s); answering here instead\n", why.c_str());
  }
  if (!::isatty(STDIN_FILENO)) return InputPrompt(progress);
  // Drawn on the controlling terminal: standard error may go to a log, and keeps to one-line
  // reports.
  const int tty = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  std::FILE* out = tty >= 0 ? ::fdopen(tty, "w") : nullptr;
  TerminalPrompt(out ? out : stderr, ForTerminal(text, ascii_text), progress);
  if (out) std::fclose(out);
}
