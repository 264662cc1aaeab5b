#include "ChildProcess.h"

#include "Spawn.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

int openPidFd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0) stop();
}

ChildProcess::ChildProcess(ChildProcess&& o) noexcept
    : pid_(std::exchange(o.pid_, -1)), pidfd_(std::move(o.pidfd_)), status_(std::exchange(o.status_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& o) noexcept {
    if (this != &o) {
        if (pid_ > 0) stop();
        pid_ = std::exchange(o.pid_, -1);
        pidfd_ = std::move(o.pidfd_);
        status_ = std::exchange(o.status_, -1);
    }
    return *this;
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& outputPath, std::string* error) {
    if (pid_ > 0) stop();
    pidfd_.close();
    pid_ = -1;
    status_ = -1;
    if (argv.empty()) {
        if (error) *error = "no program given";
        return false;
    }
    pid_t pid = -1;
    const int rc = spawnProgram(argv, SpawnOptions{.searchPath = true, .outputPath = outputPath}, pid);
    if (rc != 0) {
        if (error) *error = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
        return false;
    }
    pid_ = pid;
    pidfd_ = UniqueFd(openPidFd(pid));
    return true;
}

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    int st = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &st, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return true;
    if (r == pid_) status_ = st;
    pid_ = -1;
    pidfd_.close();
    return false;
}

bool ChildProcess::waitExit(uint32_t ms) {
    if (pid_ <= 0) return true;
    if (pidfd_) {
        // The pid descriptor becomes readable when the child exits.
        pollfd p{pidfd_.get(), POLLIN, 0};
        int r;
        do {
            r = ::poll(&p, 1, ms > 0x7FFFFFFFu ? -1 : static_cast<int>(ms));
        } while (r < 0 && errno == EINTR);
        return !running();
    }
    // Without pid descriptors: check in short steps, bounded by ms.
    for (uint32_t waited = 0;; waited += 10) {
        if (!running()) return true;
        if (waited >= ms) return false;
        ::usleep(10000);
    }
}

bool ChildProcess::signal(int sig) { return pid_ > 0 && ::kill(pid_, sig) == 0; }

bool ChildProcess::stop(uint32_t ms) {
    if (!running()) return true;
    ::kill(pid_, SIGTERM);
    if (waitExit(ms)) return true;
    ::kill(pid_, SIGKILL);
    waitExit(0xFFFFFFFFu);
    return false;
}

}  // namespace platform
