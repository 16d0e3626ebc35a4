#include "common/ending_signals.h"

void HandleEndingSignals(void (*handler)(int)) {
  for (const int signal : kEndingSignals) {
    struct sigaction old {};
    ::sigaction(signal, nullptr, &old);
    if (old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
  }
}
