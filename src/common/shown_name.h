// A file name as messages show it.
#pragma once

#include <string>
#include <string_view>

// Control characters escaped, never sent to the terminal.
std::string Shown(std::string_view name);
