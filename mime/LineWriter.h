// Writes CR LF terminated lines (or raw bytes) to a file through a large
// buffer and remembers the first failure.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/StdioFile.h"

namespace mime {

class LineWriter {
public:
    LineWriter() = default;
    // Writes to a file opened in byte mode; check isOpen().
    explicit LineWriter(platform::StdioFile file);

    // A writer whose file `create` makes only when the buffer first
    // overflows, or by open(): output that may yet be thrown away never
    // touches the disk.
    static LineWriter deferred(std::function<platform::StdioFile()> create);
    // Creates a deferred file now; false when it cannot be created.
    bool open();
    // A deferred file that open() or an overflow failed to create.
    bool createFailed() const { return createFailed_; }

    bool isOpen() const { return static_cast<bool>(file_); }
    bool ok() const { return ok_; }

    bool writeLine(std::string_view line);
    bool write(const void* data, std::size_t n);
    // Writes everything so far through to the disk.
    bool sync();
    // Closes the file; false when anything failed to reach it.
    bool close();
    // Closes the file, dropping what is still buffered.
    void abandon();

private:
    bool flush();

    std::function<platform::StdioFile()> create_;  // of a file not created yet
    platform::StdioFile file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    bool ok_ = true;
    bool createFailed_ = false;
};

}  // namespace mime
