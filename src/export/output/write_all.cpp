#include "export/output/write_all.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

bool WriteAll(int fd, std::span<const unsigned char> bytes, std::string& error) {
  while (!bytes.empty()) {
    const auto n = ::write(fd, bytes.data(), static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}
