// Writing the text of a spool file being rewritten, with the fallback that
// sets the spool file aside when the write fails.
#pragma once

#include <string>

#include "platform/StdioFile.h"

// Writes `text` to `output`. On a short write closes both files, deletes the
// output file, renames the input spool file to end in "BAD" and returns
// false. An empty text or name returns false and writes nothing.
bool WriteSpoolText(const std::string& text, platform::StdioFile& input, platform::StdioFile& output,
                    const std::string& inputPath, const std::string& outputPath);
