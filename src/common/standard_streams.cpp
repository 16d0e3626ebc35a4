#include "common/standard_streams.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

bool OpenStandardStreams() {
#ifndef _WIN32
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is taken, and all below fd are open: this is fd.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) {
      if (opened >= 0) ::close(opened);
      return false;
    }
  }
#endif
  return true;
}
