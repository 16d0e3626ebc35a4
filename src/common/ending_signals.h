// The signals that end a program unless it asks otherwise (POSIX): an interrupt from the
// terminal, a request to terminate, a hang-up.
#pragma once

#include <signal.h>

inline constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// From now on handler takes each of them, but for those the program was started ignoring (as
// under nohup), which stay ignored. Interrupted calls are restarted.
void HandleEndingSignals(void (*handler)(int));
