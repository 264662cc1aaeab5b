#include "ChildProcess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace platform {

namespace {

int openPidFd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0) stop();
    release();
}

ChildProcess::ChildProcess(ChildProcess&& o) noexcept
    : pid_(std::exchange(o.pid_, -1)), pidfd_(std::exchange(o.pidfd_, -1)), status_(std::exchange(o.status_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& o) noexcept {
    if (this != &o) {
        if (pid_ > 0) stop();
        release();
        pid_ = std::exchange(o.pid_, -1);
        pidfd_ = std::exchange(o.pidfd_, -1);
        status_ = std::exchange(o.status_, -1);
    }
    return *this;
}

void ChildProcess::release() {
    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& outputPath, std::string* error) {
    if (pid_ > 0) stop();
    release();
    pid_ = -1;
    status_ = -1;
    if (argv.empty()) {
        if (error) *error = "no program given";
        return false;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const char* out = outputPath.empty() ? "/dev/null" : outputPath.c_str();
    const int outFlags = outputPath.empty() ? O_WRONLY : (O_WRONLY | O_CREAT | O_APPEND);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out, outFlags, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);

    // The child must not inherit signals blocked by a waiting thread of ours.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        if (error) *error = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
        return false;
    }
    pid_ = pid;
    pidfd_ = openPidFd(pid);
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
    release();
    return false;
}

bool ChildProcess::waitExit(uint32_t ms) {
    if (pid_ <= 0) return true;
    if (pidfd_ >= 0) {
        // The pid descriptor becomes readable when the child exits.
        pollfd p{pidfd_, POLLIN, 0};
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
