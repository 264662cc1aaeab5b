// Writes CR LF terminated lines (or raw bytes) to a file through a large
// buffer and remembers the first failure.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "StdioFile.h"

namespace mime {

class LineWriter {
public:
    LineWriter() = default;
    // Creates (or truncates) the file in byte mode; check isOpen().
    explicit LineWriter(const std::string& path, const char* mode = "wb");

    bool isOpen() const { return static_cast<bool>(file_); }
    bool ok() const { return ok_; }

    bool writeLine(std::string_view line);
    bool write(const void* data, std::size_t n);
    // Writes everything so far through to the disk.
    bool sync();
    // Closes the file; false when anything failed to reach it.
    bool close();

private:
    StdioFile file_;
    bool ok_ = true;
};

}  // namespace mime
