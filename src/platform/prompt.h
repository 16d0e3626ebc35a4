// The modal prompt the player waits in while its sound plays.
#pragma once

#include <cstdint>

// What the prompt may show of the playback, and whether it is over.
struct PromptProgress {
  bool device_open;  // there is a position to show
  double played_seconds;
  double total_seconds;
  bool finished;  // the whole block has played (or there is nothing to play)
};
using PromptProgressFn = PromptProgress (*)();

// Settles, before any thread starts, what the prompt takes from the process: the terminal's
// character set (from the locale) and the environment the desktop dialog will get. From now on
// SIGINT, SIGTERM and SIGHUP end the prompt rather than the program: ShowPrompt returns promptly
// (at once if the signal came before it), its dialog gone, and the program ends as after OK.
// Signals that are ignored stay ignored. On a desktop it also asks the display whether it answers,
// so that ShowPrompt knows in time (3 s from now at most) whether a dialog can be shown.
void PreparePrompt();

// Shows text (UTF-8) with caption and one OK button and blocks until it is dismissed.
//
// On Windows a message box. Elsewhere: a desktop dialog in a graphical session whose display
// answers; otherwise, with a terminal on standard input, the text and "[OK]" on the controlling
// terminal with the playback position, ended by Enter or end of input; otherwise a line on
// standard input ends it, and at end of input it waits until the playback has finished. A
// terminal whose character set cannot show text gets ascii_text instead.
void ShowPrompt(const char* text, const char* ascii_text, const char* caption, PromptProgressFn progress);

// The desktop dialog is drawn by a process of its own: the program started again, which knows
// itself by IsDialogProcess. In that process main calls RunDialogProcess, first thing, which
// ends the process once the dialog has answered, and returns (non-zero) only where it was not
// started as the dialog.
bool IsDialogProcess();
int RunDialogProcess();
