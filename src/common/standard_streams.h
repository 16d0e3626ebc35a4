// Descriptors 0, 1 and 2 as a program expects them.
#pragma once

// Opens /dev/null on each of standard input, output and error that the program was started
// without. Otherwise the next file, pipe or socket anyone opens lands there: console lines would
// be written into an output file, and a sound server's wake-up byte read as typed input. Call it
// first thing in main. False if one could not be opened.
bool OpenStandardStreams();
