// ringpost-service: query, start and stop services of the service manager
// from a shell, and the boot hook that starts every service set to "Auto".
//
//   ringpost-service query NAME
//   ringpost-service start NAME [--wait]
//   ringpost-service stop NAME [--wait]
//   ringpost-service interrogate NAME
//   ringpost-service control NAME CODE
//   ringpost-service delete NAME
//   ringpost-service list
//   ringpost-service start-auto       (at boot: every service whose Start is 2)
//   ringpost-service stop-all         (at shutdown: stop every running service)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/ServiceManager.h"

using namespace platform;

namespace {

constexpr int kWaitSeconds = 120;

void usage() {
    std::fputs(
        "Usage:\n"
        "  ringpost-service query NAME\n"
        "  ringpost-service start NAME [--wait]   (--wait: until running or stopped)\n"
        "  ringpost-service stop NAME [--wait]    (--wait: until stopped)\n"
        "  ringpost-service interrogate NAME\n"
        "  ringpost-service control NAME CODE\n"
        "  ringpost-service delete NAME\n"
        "  ringpost-service list\n"
        "  ringpost-service start-auto\n"
        "  ringpost-service stop-all\n",
        stderr);
}

const char* stateName(uint32_t s) {
    switch (s) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
    case SERVICE_PAUSED: return "PAUSED";
    default: return "UNKNOWN";
    }
}

void printStatus(const std::string& name, const ServiceStatus& s) {
    std::printf("SERVICE_NAME: %s\n", name.c_str());
    std::printf("        TYPE               : %-4u%s\n", s.serviceType,
                s.serviceType == SERVICE_WIN32_OWN_PROCESS ? "WIN32_OWN_PROCESS" : "");
    std::printf("        STATE              : %-4u%s\n", s.currentState, stateName(s.currentState));
    std::printf("                                (%s)\n",
                (s.controlsAccepted & SERVICE_ACCEPT_STOP) ? "STOPPABLE" : "NOT_STOPPABLE");
    std::printf("        WIN32_EXIT_CODE    : %u  (0x%x)\n", s.win32ExitCode, s.win32ExitCode);
    std::printf("        SERVICE_EXIT_CODE  : %u  (0x%x)\n", s.serviceSpecificExitCode, s.serviceSpecificExitCode);
    std::printf("        CHECKPOINT         : 0x%x\n", s.checkPoint);
    std::printf("        WAIT_HINT          : 0x%x\n", s.waitHint);
    std::printf("        PID                : %u\n", s.processId);
}

int failed(const char* what) {
    const uint32_t code = lastErrorCode();
    std::fprintf(stderr, "[SC] %s FAILED %u:\n\n%s\n", what, code, systemErrorText(code).c_str());
    return 1;
}

bool open(const std::string& name, ServiceHandle& service) {
    ServiceManagerHandle manager;
    return openServiceManager(manager) && openService(manager, name, service);
}

// Polls the status until `done` holds; the service reports on its own time.
template <typename Done>
bool waitFor(const ServiceHandle& service, ServiceStatus& s, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kWaitSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!queryServiceStatus(service, s)) return false;
        if (done(s)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

int startAll() {
    int rc = 0;
    for (const auto& name : installedServices()) {
        RegistryKey key;
        uint32_t start = 0;
        if (regOpenKey(RootKey::LocalMachine, serviceKeyPath(name), key, KEY_READ) != kRegOk ||
            regQueryDword(key, "Start", start) != kRegOk || start != SERVICE_AUTO_START)
            continue;
        ServiceHandle service;
        if (!open(name, service) || !startService(service)) {
            if (lastErrorCode() == kErrorServiceAlreadyRunning) continue;
            std::fprintf(stderr, "%s: start failed %u: %s\n", name.c_str(), lastErrorCode(),
                         systemErrorText(lastErrorCode()).c_str());
            rc = 1;
            continue;
        }
        std::printf("%s started\n", name.c_str());
    }
    return rc;
}

int stopAll() {
    for (const auto& name : installedServices()) {
        ServiceHandle service;
        ServiceStatus s;
        if (!open(name, service) || !controlService(service, SERVICE_CONTROL_STOP, s)) continue;
        waitFor(service, s, [](const ServiceStatus& st) { return st.currentState == SERVICE_STOPPED; });
        std::printf("%s stopped\n", name.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage();
        return 2;
    }
    const std::string op = argv[1];
    if (op == "start-auto") return startAll();
    if (op == "stop-all") return stopAll();
    if (op == "list") {
        for (const auto& n : installedServices()) std::printf("%s\n", n.c_str());
        return 0;
    }
    if (argc < 3) {
        usage();
        return 2;
    }
    const std::string name = argv[2];
    const bool wait = argc > 3 && std::string(argv[3]) == "--wait";
    ServiceHandle service;
    if (!open(name, service)) return failed("OpenService");
    ServiceStatus s;
    if (op == "query") {
        if (!queryServiceStatus(service, s)) return failed("QueryServiceStatus");
    } else if (op == "start") {
        if (!startService(service)) return failed("StartService");
        if (wait) {
            waitFor(service, s, [](const ServiceStatus& st) {
                return st.currentState == SERVICE_RUNNING || st.currentState == SERVICE_STOPPED;
            });
        } else if (!queryServiceStatus(service, s)) {
            return failed("QueryServiceStatus");
        }
    } else if (op == "stop" || op == "interrogate" || op == "control") {
        uint32_t code = op == "stop" ? SERVICE_CONTROL_STOP : SERVICE_CONTROL_INTERROGATE;
        if (op == "control") {
            if (argc < 4) {
                usage();
                return 2;
            }
            code = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0));
        }
        if (!controlService(service, code, s)) return failed("ControlService");
        if (wait && op == "stop")
            waitFor(service, s, [](const ServiceStatus& st) { return st.currentState == SERVICE_STOPPED; });
    } else if (op == "delete") {
        if (!deleteService(service)) return failed("DeleteService");
        std::printf("[SC] DeleteService SUCCESS\n");
        return 0;
    } else {
        usage();
        return 2;
    }
    printStatus(service.name(), s);
    return 0;
}
