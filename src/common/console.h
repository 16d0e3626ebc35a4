// The program's console lines. They go to standard output, except in a tool that needs standard
// output for data and sends them to standard error instead.
#pragma once

#include <cstdio>

void SetConsole(std::FILE* stream);

// printf-style; the result is not examined, like any console print of the program.
[[gnu::format(printf, 1, 2)]] void ConsolePrint(const char* format, ...);
