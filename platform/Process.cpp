#include "Process.h"

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace platform {

Process::~Process() { reap(false); }

Process::Process(Process&& o) noexcept
    : pid_(std::exchange(o.pid_, -1)), exited_(std::exchange(o.exited_, false)), code_(o.code_) {}

Process& Process::operator=(Process&& o) noexcept {
    if (this != &o) {
        reap(false);
        pid_ = std::exchange(o.pid_, -1);
        exited_ = std::exchange(o.exited_, false);
        code_ = o.code_;
    }
    return *this;
}

bool Process::start(const std::vector<std::string>& argv) {
    reap(false);
    pid_ = -1;
    exited_ = false;
    code_ = 0;
    if (argv.empty() || argv[0].empty()) return false;

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // Whatever the caller holds open (windowing connections, locks, sockets)
    // stays with the caller.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    pid_ = pid;
    return true;
}

void Process::reap(bool block) {
    if (pid_ <= 0) return;
    int st = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &st, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return;  // still running
    if (r == pid_) {
        code_ = WIFEXITED(st) ? static_cast<uint32_t>(WEXITSTATUS(st))
                              : 128u + static_cast<uint32_t>(WIFSIGNALED(st) ? WTERMSIG(st) : 0);
        exited_ = true;
    }
    pid_ = -1;
}

bool Process::exitCode(uint32_t& code) {
    reap(false);
    if (pid_ > 0) {
        code = kStillActive;
        return true;
    }
    if (!exited_) return false;
    code = code_;
    return true;
}

void Process::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    reap(true);
}

}  // namespace platform
