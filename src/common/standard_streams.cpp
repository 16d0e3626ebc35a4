#include "common/standard_streams.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {
bool closed_at_start[3] = {false, false, false};
}

bool OpenStandardStreams() {
#ifndef _WIN32
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closed_at_start[fd] = true;
    // The lowest free descriptor is taken, and all below fd are open: this is fd.
    const int opened = ::open("/dev/null", O_RDONLY);
    if (opened != fd) {
      if (opened >= 0) ::close(opened);
      return false;
    }
  }
#endif
  return true;
}

bool StandardStreamWasClosed(int fd) { return fd >= 0 && fd <= 2 && closed_at_start[fd]; }

void IgnoreClosedPipes() {
#ifndef _WIN32
  ::signal(SIGPIPE, SIG_IGN);
#endif
}
