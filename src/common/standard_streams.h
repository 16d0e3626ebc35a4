// Descriptors 0, 1 and 2 as a program expects them.
#pragma once

// Gives each of standard input, output and error that the program was started without a
// descriptor of /dev/null. Otherwise the next file, pipe or socket anyone opens lands there:
// console lines would be written into an output file, and a sound server's wake-up byte read as
// typed input. Standard input reads as empty; the two outputs are open for reading only, so that
// writing to them fails (EBADF) as it would on the closed descriptor, and nothing is written
// anywhere. Call it first thing in main. False if one could not be opened.
bool OpenStandardStreams();

// Whether OpenStandardStreams found fd (0, 1 or 2) closed.
bool StandardStreamWasClosed(int fd);

// From now on a write to a pipe whose reader has gone fails (EPIPE) instead of ending the
// program with SIGPIPE: for a program whose output is not its purpose. Programs it starts get
// SIGPIPE back (POSIX; nothing elsewhere).
void IgnoreClosedPipes();
