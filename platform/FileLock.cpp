#include "FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace platform {

FileLock::FileLock(const std::string& path, unsigned mode)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode & 0666)) {
    if (!fd_) return;
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fd_.close();
        errno = EINVAL;
        return;
    }
    if ((st.st_mode & 0777 & ~mode) != 0 && st.st_uid == ::geteuid()) ::fchmod(fd_.get(), mode & 0666);
    while (::flock(fd_.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            fd_.close();
            return;
        }
    }
}

}  // namespace platform
