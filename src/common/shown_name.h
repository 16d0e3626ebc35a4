// A name (a file, a display, a folder) as the programs' messages show it.
#pragma once

#include <string>
#include <string_view>

// The name in single quotes, as text that can do nothing to a terminal: every control character
// (C0, DEL, and C1, also written in UTF-8) and every byte that is not valid UTF-8 becomes \xNN,
// one escape per byte; a quote or backslash in the name becomes \' or \\. Where the locale's
// character set is not UTF-8, every byte above 0x7f is escaped too. 'tune.wav', '', 'a\x1b[2J'.
std::string Shown(std::string_view name);
