// An exclusive advisory lock on a lock file, held for the object's lifetime:
// it serialises changes across the threads and processes sharing the file.
#pragma once

#include <string>

#include "UniqueFd.h"

namespace platform {

class FileLock {
public:
    // Creates the file when missing and waits for the lock.
    explicit FileLock(const std::string& path);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool locked() const { return static_cast<bool>(fd_); }

private:
    UniqueFd fd_;  // closing it releases the lock
};

}  // namespace platform
