#include "Process.h"

#include "Spawn.h"

#include <cerrno>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

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

    pid_t pid = -1;
    const int rc = spawnProgram(argv, SpawnOptions{}, pid);
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
