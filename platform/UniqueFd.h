// Owns a POSIX file descriptor.
#pragma once

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace platform {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { close(); }
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o) {
            close();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    // True when the descriptor closed cleanly (or there was none).
    bool close() {
        if (fd_ < 0) return true;
        const int r = ::close(std::exchange(fd_, -1));
        return r == 0 || errno == EINTR;
    }

private:
    int fd_ = -1;
};

}  // namespace platform
