// For tests that need a small or read-only file system of their own: a
// child process with a private mount namespace, and a way to fill a file
// system to its last byte.
#pragma once

#include <fcntl.h>
#include <functional>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/UniqueFd.h"

// Runs `body` in a child with a mount namespace of its own, so a test can
// mount a small or read-only file system without touching anyone else's.
// Returns what the child reports ("" for success).
inline std::string inMountNamespace(const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string result = "cannot make a mount namespace";
        if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0)
            result = body();
        (void)!::write(fds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out;
}

// Fills the file system of `file`'s directory to the last byte; false when
// the file cannot be made.
inline bool fillFileSystem(const std::string& file) {
    platform::UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    const std::string block(4096, 'x');
    while (::write(fd.get(), block.data(), block.size()) > 0) {
    }
    while (::write(fd.get(), "x", 1) > 0) {
    }
    return static_cast<bool>(fd);
}
