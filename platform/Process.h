// Programs the console starts and waits for: an argument vector (no shell, so
// paths with spaces need no quoting), nothing inherited but the three standard
// descriptors, which lead to /dev/null.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The exit code a process reports while it is still running.
inline constexpr uint32_t kStillActive = 259;

class Process {
public:
    Process() = default;
    // Reaps the process when it has ended; a running one is left to run, as a
    // closed process handle would leave it.
    ~Process();
    Process(Process&& o) noexcept;
    Process& operator=(Process&& o) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts argv[0] (a path; PATH is not searched). False when nothing started.
    bool start(const std::vector<std::string>& argv);

    bool started() const { return pid_ > 0 || exited_; }
    int pid() const { return pid_; }

    // Like GetExitCodeProcess: kStillActive while running, the exit status
    // once it has ended (128 + signal number after a signal). False when there
    // is no process to ask about.
    bool exitCode(uint32_t& code);

    // Ends a process that is still running (SIGKILL) and reaps it.
    void kill();

private:
    void reap(bool block);
    int pid_ = -1;
    bool exited_ = false;
    uint32_t code_ = 0;
};

}  // namespace platform
