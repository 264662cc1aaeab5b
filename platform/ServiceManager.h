// The service manager: installs, starts, controls and queries services, and
// inside a service process runs the dispatcher that receives the controls.
//
// The service database is the registry key of each service
// (HKLM\SYSTEM\CurrentControlSet\Services\NAME: Type, Start, ErrorControl,
// ImagePath, DisplayName, ObjectName = the installing user, DeleteFlag once
// marked for deletion). Runtime state lives in SYSTEM_DIR/services/NAME/: the
// status file (replaced atomically by every report), the control socket the
// dispatcher serves, output.log, the service's standard output and error
// of its latest start, and status.log, every status reported since (one line
// each: type state accepted win32-exit specific-exit checkpoint wait-hint pid).
//
// Failures return false and set the last error (lastErrorCode()) to the
// Windows code the callers test, named in ServiceErrors.h: 1056 already
// running, 1060 no such service, 1061 control not accepted now, 1062 not
// active, 1063 dispatcher in a process the manager did not start, 1067 the
// process ended without reporting stopped, 1072 marked for deletion, 1073
// exists, 1053 no answer in time, 5 access denied.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr uint32_t SERVICE_WIN32_OWN_PROCESS = 16;
inline constexpr uint32_t SERVICE_AUTO_START = 2;
inline constexpr uint32_t SERVICE_DEMAND_START = 3;
inline constexpr uint32_t SERVICE_DISABLED = 4;
inline constexpr uint32_t SERVICE_ERROR_NORMAL = 1;

inline constexpr uint32_t SERVICE_STOPPED = 1;
inline constexpr uint32_t SERVICE_START_PENDING = 2;
inline constexpr uint32_t SERVICE_STOP_PENDING = 3;
inline constexpr uint32_t SERVICE_RUNNING = 4;
inline constexpr uint32_t SERVICE_CONTINUE_PENDING = 5;
inline constexpr uint32_t SERVICE_PAUSE_PENDING = 6;
inline constexpr uint32_t SERVICE_PAUSED = 7;

inline constexpr uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr uint32_t SERVICE_CONTROL_PAUSE = 2;
inline constexpr uint32_t SERVICE_CONTROL_CONTINUE = 3;
inline constexpr uint32_t SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr uint32_t SERVICE_CONTROL_SHUTDOWN = 5;

inline constexpr uint32_t SERVICE_ACCEPT_STOP = 1;
inline constexpr uint32_t SERVICE_ACCEPT_PAUSE_CONTINUE = 2;
inline constexpr uint32_t SERVICE_ACCEPT_SHUTDOWN = 4;

struct ServiceStatus {
    uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS;
    uint32_t currentState = SERVICE_STOPPED;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
    uint32_t processId = 0;  // 0 when no process runs
};

// The registry path of a service's key below HKEY_LOCAL_MACHINE.
std::string serviceKeyPath(std::string_view serviceName);

// ---- Manager side ----

class ServiceManagerHandle {
public:
    bool isOpen() const { return open_; }
    void close() { open_ = false; }

private:
    friend bool openServiceManager(ServiceManagerHandle&);
    bool open_ = false;
};

class ServiceHandle {
public:
    bool isOpen() const { return !name_.empty(); }
    void close() { name_.clear(); }
    const std::string& name() const { return name_; }

private:
    friend struct ServiceHandleAccess;
    std::string name_;
};

// Fails with 5 when the caller cannot change the system directory.
bool openServiceManager(ServiceManagerHandle& out);

// Registers a service run by `imagePath` (started without arguments) as the
// calling user. 1073 when it exists, 1072 when it is still marked for deletion.
bool createService(const ServiceManagerHandle& manager, std::string_view name, std::string_view displayName,
                   uint32_t serviceType, uint32_t startType, uint32_t errorControl, std::string_view imagePath,
                   ServiceHandle& out);
bool openService(const ServiceManagerHandle& manager, std::string_view name, ServiceHandle& out);

// Stopped: removes the service at once. Running: marks it (DeleteFlag = 1);
// it is removed when it stops.
bool deleteService(const ServiceHandle& service);

// Spawns ImagePath in a new session with a clean environment, umask 022, the
// program's directory as working directory, as the installing user, and
// waits (bounded) until its dispatcher has connected.
bool startService(const ServiceHandle& service);

// Sends a control and returns the status the service's handler reported.
bool controlService(const ServiceHandle& service, uint32_t control, ServiceStatus& status);

bool queryServiceStatus(const ServiceHandle& service, ServiceStatus& status);

// Names of the installed services (keys with an ImagePath), in name order.
std::vector<std::string> installedServices();

// ---- Service side ----

using ServiceMainFunction = void (*)(uint32_t argc, char** argv);
using ServiceHandlerFunction = void (*)(uint32_t control);

// Runs `serviceMain` on a thread of its own and serves controls on the
// calling thread until it returns. False with 1063 when this process was not
// started by startService.
bool startServiceCtrlDispatcher(std::string_view serviceName, ServiceMainFunction serviceMain);

// Inside serviceMain: registers the control handler. Null on failure.
using ServiceStatusHandle = const void*;
ServiceStatusHandle registerServiceCtrlHandler(std::string_view serviceName, ServiceHandlerFunction handler);

// Publishes a status. The process id is filled in here.
bool setServiceStatus(ServiceStatusHandle handle, const ServiceStatus& status);

}  // namespace platform
