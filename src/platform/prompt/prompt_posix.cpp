// The prompt on Linux and other POSIX systems: a dialog on a desktop, else the terminal, else
// standard input. Each waits on its input and on the stop pipe, which the ending signals fill.
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/ending_signals.h"
#include "platform/desktop_dialog.h"
#include "platform/prompt/dialog_process.h"
#include "platform/prompt/display_question.h"
#include "platform/prompt.h"

extern char** environ;

namespace {

// How long a display may take to answer, from the start.
constexpr auto kDisplayAnswer = std::chrono::seconds(3);

int stop_pipe[2] = {-1, -1};  // readable once an ending signal has come
std::string terminal_charset;  // the locale's, as the program started
std::vector<std::string> start_environment;  // for the dialog's process
bool graphical_session = false;
std::vector<std::unique_ptr<DisplayQuestion>> displays;  // asked at start, in the order SDL tries them

void NoteStop(int) {
  const int saved = errno;
  [[maybe_unused]] const auto n = ::write(stop_pipe[1], "", 1);
  errno = saved;
}

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
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
  const char* charset = terminal_charset.c_str();
  if (terminal_charset == "UTF-8") return text;
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

// The terminal's width in columns; 80 where it does not say.
int Columns(std::FILE* out) {
  winsize size{};
  if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::string Minutes(double seconds) {
  const int s = static_cast<int>(seconds);
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d", s / 60, s % 60);
  return text;
}

// The sentence and [OK] on the terminal, with the position redrawn in place every second. The
// line is cut to one column less than the terminal has, measured at every redraw: a line that
// reached the last column, or wrapped, would leave the cursor on another line than the one
// redrawn. What is left of a longer line before it is covered with spaces.
void TerminalPrompt(std::FILE* out, const std::string& text, PromptProgressFn progress) {
  std::fprintf(out, "%s\n", text.c_str());
  bool newline = false, typed = false;
  std::size_t drawn = 0;  // columns of the line as last drawn
  for (;;) {
    const PromptProgress p = progress();
    std::string line = "[OK]";
    if (p.device_open) line += "  " + Minutes(p.played_seconds) + " / " + Minutes(p.total_seconds) + " ";
    const auto width = static_cast<std::size_t>(std::max(1, Columns(out) - 1));
    line.resize(std::min(line.size(), width));
    const std::size_t cover = std::min(drawn, width);
    drawn = line.size();
    if (cover > line.size()) line.append(cover - line.size(), ' ');
    std::fprintf(out, "\r%s", line.c_str());
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

bool Stopped() {
  bool ready = false;
  return !WaitForInput(-1, 0, ready);
}

// The dialog, in its own process, on the displays that answered. True once the prompt is over:
// dismissed, or ended by a signal (the dialog gone). False, with why, where it cannot be shown.
bool DesktopPrompt(const char* text, const char* caption, std::string& why) {
  if (!DesktopDialogBuilt()) {
    why = "this build has no desktop dialog";
    return false;
  }
  if (Stopped()) return true;  // decided already: no dialog after that
  std::vector<std::string> environment = start_environment;
  bool answered = false;
  for (const auto& display : displays) {
    std::string why_not;
    const DisplayQuestion::Answer answer = display->Await(stop_pipe[0], why_not);
    if (answer == DisplayQuestion::Answer::Stopped) return true;
    if (answer == DisplayQuestion::Answer::Answered) {
      answered = true;
      continue;
    }
    // Where the other display answered, the dialog goes there; the toolkit must not try this one.
    const std::string variable = display->kind() == DisplayQuestion::Kind::X11 ? "DISPLAY=" : "WAYLAND_DISPLAY=";
    std::erase_if(environment, [&](const std::string& entry) { return entry.starts_with(variable); });
    why += (why.empty() ? "" : "; ") + why_not;
  }
  if (!answered) return false;
  why.clear();
  DialogProcess dialog;
  if (!dialog.Start(text, caption, environment, why)) return false;
  bool ready = false;
  if (!WaitForInput(dialog.fd(), -1, ready)) return true;  // ended: the dialog goes with its process
  return dialog.Answer(why);
}

}  // namespace

void PreparePrompt() {
  std::setlocale(LC_CTYPE, "");
  terminal_charset = nl_langinfo(CODESET);
  for (char** entry = environ; entry && *entry; ++entry) start_environment.emplace_back(*entry);
  if (::pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) == 0) HandleEndingSignals(NoteStop);
  graphical_session = Environment("DISPLAY") || Environment("WAYLAND_DISPLAY");
  if (!DesktopDialogBuilt()) return;
  // SDL's order: Wayland (through zenity) first, then X11.
  const auto deadline = DisplayQuestion::Clock::now() + kDisplayAnswer;
  if (const char* name = Environment("WAYLAND_DISPLAY"))
    displays.push_back(std::make_unique<DisplayQuestion>(DisplayQuestion::Kind::Wayland, name, deadline));
  if (const char* name = Environment("DISPLAY"))
    displays.push_back(std::make_unique<DisplayQuestion>(DisplayQuestion::Kind::X11, name, deadline));
}

void ShowPrompt(const char* text, const char* ascii_text, const char* caption, PromptProgressFn progress) {
  if (graphical_session) {
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
