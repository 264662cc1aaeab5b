// Makes a file unreadable for the calling thread while the object lives:
// mode 000, and, when the thread runs as root, without the capabilities that
// would let it read the file anyway. Mode and capabilities come back after.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <linux/capability.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

class UnreadableFile {
public:
    explicit UnreadableFile(std::string path) : path_(std::move(path)) {
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0 || ::chmod(path_.c_str(), 0) != 0) return;
        mode_ = st.st_mode & 07777;
        if (::syscall(SYS_capget, &header_, saved_) == 0) {
            __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
            reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
            dropped_ = ::syscall(SYS_capset, &header_, reduced) == 0;
        }
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        else
            unreadable_ = errno == EACCES;
    }
    ~UnreadableFile() { restore(); }
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

    // False when the file could still be opened (the test cannot go on).
    bool unreadable() const { return unreadable_; }

    void restore() {
        if (dropped_) ::syscall(SYS_capset, &header_, saved_);
        dropped_ = false;
        if (mode_ >= 0) ::chmod(path_.c_str(), static_cast<mode_t>(mode_));
        mode_ = -1;
        unreadable_ = false;
    }

private:
    std::string path_;
    int mode_ = -1;
    bool dropped_ = false;
    bool unreadable_ = false;
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};
