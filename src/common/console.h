// The program's console lines. They go to standard output, except in a tool that needs standard
// output for data and sends them to standard error instead.
#pragma once

#include <cstdio>

void SetConsole(std::FILE* stream);

// printf-style. The player does not look at the result; a tool that must say when its output
// failed asks ConsoleError.
[[gnu::format(printf, 1, 2)]] void ConsolePrint(const char* format, ...);

// The system's error number for the first console line that could not be written; 0 if every
// line went out.
int ConsoleError();
