// A note sequence from a file, for `--notes FILE` of both programs.
#pragma once

#include <string>

#include "synth/note_text.h"

// The sequence in the file at path, "-" standing for standard input: the text form for a name
// ending in ".txt" and for "-", the bytes themselves for any other name. No more is read than a
// sequence can hold. False, with a message that names the file and says where and what, if it
// cannot be read or holds no note sequence.
bool LoadNoteFile(const std::string& path, NoteSequence& notes, std::string& error);
