// A child program started by the caller and stopped by it: the test servers
// (and anything else run beside the system) live exactly as long as their owner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace platform {

class ChildProcess {
public:
    ChildProcess() = default;
    // Stops a child that is still running (SIGTERM, then SIGKILL after a bound).
    ~ChildProcess();
    ChildProcess(ChildProcess&& o) noexcept;
    ChildProcess& operator=(ChildProcess&& o) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (searched in PATH) with the given arguments. Standard
    // output and error go to outputPath (appended) when it is given, else to
    // /dev/null; no other descriptor of ours is inherited. False, with a
    // reason in *error, when nothing was started.
    bool start(const std::vector<std::string>& argv, const std::string& outputPath = {},
               std::string* error = nullptr);

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }

    // True while the child has not exited (reaps it once it has).
    bool running();

    // Waits up to `ms` for the child to exit. True when it has; its wait status
    // is then available from exitStatus().
    bool waitExit(uint32_t ms);

    // SIGTERM, wait up to `ms`, then SIGKILL and wait. True when it ended on SIGTERM.
    bool stop(uint32_t ms = 5000);

    // Sends a signal to the running child.
    bool signal(int sig);

    // The raw wait status of an exited child, -1 while unknown.
    int exitStatus() const { return status_; }

private:
    int pid_ = -1;
    UniqueFd pidfd_;
    int status_ = -1;
};

}  // namespace platform
