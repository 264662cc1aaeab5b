// Reading spool and text files line by line, the way every handler does.
#pragma once

#include <cstdio>
#include <string>

inline constexpr size_t kMaxLineLength = 8191;

// One physical line (a longer one comes in pieces of 8191 characters),
// without its trailing CR and LF characters. False at end of file, with
// `line` empty.
bool ReadLine(std::FILE* file, std::string& line);

// One logical header line, whole however long (the MIME layer's reader of
// header lines): continuation lines (starting with a space or a tab) are
// unfolded onto it after one space. The empty line that ends the header
// block is never continued. The file is left right behind the line.
bool ReadHeaderLine(std::FILE* file, std::string& line);
