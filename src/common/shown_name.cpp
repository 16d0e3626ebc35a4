#include "common/shown_name.h"

#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <langinfo.h>
#include <locale.h>
#endif

namespace {

// Whether the terminal takes UTF-8, by the environment's locale; read without changing the
// program's own. Windows consoles do not act on bytes above 0x7f either way.
bool Utf8Locale() {
#ifdef _WIN32
  return true;
#else
  static const bool utf8 = [] {
    const locale_t locale = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return false;
    const bool is_utf8 = std::strcmp(::nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
    ::freelocale(locale);
    return is_utf8;
  }();
  return utf8;
#endif
}

// The length of the valid UTF-8 sequence of a printable character at the start of s, or 0:
// overlong forms, surrogates and values above U+10FFFF are invalid, and U+0080-U+009F are C1
// controls.
std::size_t PrintableUtf8(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  char32_t value;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, value = lead & 0x1f;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, value = lead & 0x0f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, value = lead & 0x07;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
    value = value << 6 | (byte(i) & 0x3f);
  }
  constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kShortest[length] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return 0;
  if (value <= 0x9f) return 0;  // C1
  return length;
}

}  // namespace

std::string Shown(std::string_view name) {
  std::string shown = "'";
  const bool utf8 = Utf8Locale();
  while (!name.empty()) {
    const auto c = static_cast<unsigned char>(name[0]);
    std::size_t take = 1;
    if (c == '\'' || c == '\\') {
      shown += '\\';
      shown += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7f) {
      shown += static_cast<char>(c);
    } else if (c >= 0x80 && utf8 && (take = PrintableUtf8(name)) > 0) {
      shown.append(name.substr(0, take));
    } else {
      take = 1;
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    }
    name.remove_prefix(take);
  }
  return shown + "'";
}
