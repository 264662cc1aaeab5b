// The engine's service as the console sees it: its registry key, the service
// manager, and the engine program that installs and removes the service.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

inline constexpr char kServiceName[] = "KOVARingpost";
inline constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\KOVARingpost";
inline constexpr char kEngineProgram[] = "RingpostSvc";

// Start types kept in the service's `Start` value.
inline constexpr uint32_t kStartAuto = 2;
inline constexpr uint32_t kStartDemand = 3;

class ServiceControl {
public:
    // Called between polls while waiting, so the window stays alive.
    using Pump = std::function<void()>;

    explicit ServiceControl(std::string homeDir);

    // Installed: the service opens and is not marked for deletion.
    bool IsServiceInstalled();
    // 1 running, 0 any other state, -1 when the service cannot be queried.
    int QueryServiceRunning();
    bool IsServiceAuto();
    bool setStartType(uint32_t startType);

    // Runs the engine program with "-install" or "-remove" and waits (up to
    // `limitMs`) for its exit code. -1 when it could not be started, did not
    // end in time (it is then ended) or its code could not be read.
    int64_t runEngine(const std::string& switchArg, uint32_t limitMs, const Pump& pump);

    struct StartOutcome {
        bool running = false;            // reached the running state
        bool stopped = false;            // reached the stopped state
        uint32_t win32ExitCode = 0;      // when stopped
        uint32_t specificExitCode = 0;
        bool timedOut = false;           // neither within the limit
    };
    // Starts the service and waits up to `limitMs` for it to run or stop.
    StartOutcome startService(uint32_t limitMs, const Pump& pump);
    enum class StopOutcome { Stopped, Refused, TimedOut };
    // Sends the stop control and waits up to `limitMs` for the stopped state.
    StopOutcome stopService(uint32_t limitMs, const Pump& pump);

    std::string enginePath() const;

private:
    std::string homeDir_;
};
