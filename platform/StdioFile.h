// Owns a stdio stream: message and spool files are read and written through
// stdio's buffers, one stream per file.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "UniqueFd.h"

namespace platform {

struct StdioCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using StdioFile = std::unique_ptr<std::FILE, StdioCloser>;

inline StdioFile openFile(const std::string& path, const char* mode) {
    return StdioFile(std::fopen(path.c_str(), mode));
}

// A stream over a descriptor opened by other means (platform::Directory);
// null when there is none.
inline StdioFile adoptFile(UniqueFd fd, const char* mode) {
    if (!fd) return nullptr;
    StdioFile f(::fdopen(fd.get(), mode));
    if (f) fd.release();
    return f;
}

// Closes the stream and reports whether every buffered byte reached the file.
inline bool closeFile(StdioFile& f) {
    if (!f) return true;
    const bool failed = std::ferror(f.get()) != 0;
    return std::fclose(f.release()) == 0 && !failed;
}

}  // namespace platform
