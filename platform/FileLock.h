// An exclusive advisory lock on a lock file, held for the object's lifetime:
// it serialises changes across the threads and processes sharing the file.
#pragma once

#include <string>

#include "UniqueFd.h"

namespace platform {

class FileLock {
public:
    // Creates the file when missing and waits for the lock. The file is
    // created with `mode` (owner-only by default: anyone who can open a lock
    // file can hold it and block every writer) and never through a symbolic
    // link. Our own lock file left with wider rights is narrowed to `mode`.
    explicit FileLock(const std::string& path, unsigned mode = 0600);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool locked() const { return static_cast<bool>(fd_); }

private:
    UniqueFd fd_;  // closing it releases the lock
};

}  // namespace platform
