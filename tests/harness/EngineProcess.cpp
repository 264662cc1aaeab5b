#include "EngineProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Spawn.h"

namespace {
using Clock = std::chrono::steady_clock;

uint32_t remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}
}  // namespace

EngineProcess::~EngineProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
}

bool EngineProcess::start(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::string>& env) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    platform::SpawnOptions options;
    options.outputFd = fds[1];
    options.environment = env;
    pid_t pid = -1;
    const int rc = platform::spawnProgram(argv, options, pid);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    pid_ = pid;
    fd_ = fds[0];
    return true;
}

bool EngineProcess::readSome(uint32_t timeoutMs) {
    if (eof_ || fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(timeoutMs));
    if (r < 0 && errno == EINTR) return true;
    if (r <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) {
        eof_ = true;
        return false;
    }
    output_.append(buf, static_cast<size_t>(n));
    return true;
}

int EngineProcess::countOf(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + needle.size()))
        ++n;
    return n;
}

bool EngineProcess::waitFor(const std::string& needle, int times, uint32_t timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (countOf(output_, needle) < times) {
        const uint32_t left = remainingMs(deadline);
        if (left == 0 || !readSome(left)) return countOf(output_, needle) >= times;
    }
    return true;
}

int EngineProcess::waitExit(uint32_t timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!eof_) {
        const uint32_t left = remainingMs(deadline);
        if (left == 0) return -1;
        readSome(left);
    }
    if (pid_ <= 0) return -1;
    int status = 0;
    // The output has closed; the exit follows at once.
    for (;;) {
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) break;
        if (r < 0 || remainingMs(deadline) == 0) return -1;
        ::usleep(1000);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void EngineProcess::signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
}
