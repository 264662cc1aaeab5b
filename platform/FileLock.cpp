#include "FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace platform {

FileLock::FileLock(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (!fd_) return;
    while (::flock(fd_.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            fd_.close();
            return;
        }
    }
}

}  // namespace platform
