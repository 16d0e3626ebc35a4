#include "common/shown_name.h"

#include <cstdio>

std::string Shown(std::string_view name) {
  std::string shown;
  for (const unsigned char c : name) {
    if (c >= 0x20 && c != 0x7f) {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    }
  }
  return shown;
}
