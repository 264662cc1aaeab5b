// Reading spool and text files line by line, the way every handler does.
#pragma once

#include <cstdio>
#include <string>

inline constexpr size_t kMaxLineLength = 8191;

// One physical line (a longer one comes in pieces of 8191 characters),
// without its trailing CR and LF characters. False at end of file, with
// `line` empty.
bool ReadLine(std::FILE* file, std::string& line);

// One logical header line: continuation lines (starting with a space or a
// tab) are unfolded onto it after one space. Cut to 8191 characters. The
// empty line that ends the header block is never continued.
bool ReadHeaderLine(std::FILE* file, std::string& line);
