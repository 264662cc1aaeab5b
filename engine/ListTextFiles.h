// The texts an administrator keeps in the list directory for the engine to
// send: the welcome, prepend and postpend files.
#pragma once

#include <string>

#include "MailList.h"

// Appends every line of the list's text file at `path` (the list directory
// and the name the settings give), each followed by CR LF. A file that is
// missing or cannot be read adds nothing. Administrators name these files
// loosely, so the name is found whatever its letter case. Only a regular file
// inside the list directory is read: a link or special file in its place is
// reported and adds nothing, and a name leading out of the directory adds
// nothing.
void AppendTextFile(const MailList& list, const std::string& path, std::string& text);
