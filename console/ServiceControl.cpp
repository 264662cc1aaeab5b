#include "ServiceControl.h"

#include "basRingpostCfg.h"
#include "clsRegistry.h"
#include "platform/Clock.h"
#include "platform/ServiceManager.h"

namespace {

// One pause between polls: the caller's pump keeps its window alive.
void waitStep(const ServiceControl::Pump& pump) {
    if (pump)
        pump();
    else
        platform::sleepMs(20);
}

}  // namespace

ServiceControl::ServiceControl(std::string homeDir) : homeDir_(withSlash(homeDir)) {}

std::string ServiceControl::enginePath() const { return homeDir_ + kEngineProgram; }

bool ServiceControl::IsServiceAuto() {
    clsRegistry reg;
    return reg.ReadLong(HKEY_LOCAL_MACHINE, kServiceKey, "Start") == static_cast<int32_t>(kStartAuto);
}

bool ServiceControl::setStartType(uint32_t startType) {
    clsRegistry reg;
    return reg.WriteLong(HKEY_LOCAL_MACHINE, kServiceKey, "Start", static_cast<int32_t>(startType));
}

int64_t ServiceControl::runEngine(const std::string& switchArg, uint32_t limitMs, const Pump& pump) {
    platform::Process engine = StartProgram({enginePath(), switchArg}, kHide);
    const uint32_t begin = platform::tickCount();
    for (;;) {
        uint32_t code = 0;
        if (!engine.exitCode(code)) return -1;
        if (code != platform::kStillActive) return code;
        if (platform::tickCount() - begin >= limitMs) {
            engine.kill();
            return -1;
        }
        waitStep(pump);
    }
}

namespace {

// The manager and the service, both open, closed again when this goes.
struct OpenService {
    platform::ServiceManagerHandle manager;
    platform::ServiceHandle service;
    bool open() {
        return platform::openServiceManager(manager) && platform::openService(manager, kServiceName, service);
    }
};

}  // namespace

bool ServiceControl::IsServiceInstalled() {
    OpenService s;
    if (!s.open()) return false;
    clsRegistry reg;
    return reg.ReadLong(HKEY_LOCAL_MACHINE, kServiceKey, "DeleteFlag") == 0;
}

int ServiceControl::QueryServiceRunning() {
    OpenService s;
    platform::ServiceStatus status;
    if (!s.open() || !platform::queryServiceStatus(s.service, status)) return -1;
    return status.currentState == platform::SERVICE_RUNNING ? 1 : 0;
}

ServiceControl::StartOutcome ServiceControl::startService(uint32_t limitMs, const Pump& pump) {
    StartOutcome out;
    OpenService s;
    if (!s.open() || !platform::startService(s.service)) return out;
    const uint32_t begin = platform::tickCount();
    for (;;) {
        platform::ServiceStatus status;
        if (platform::queryServiceStatus(s.service, status)) {
            if (status.currentState == platform::SERVICE_RUNNING) {
                out.running = true;
                return out;
            }
            if (status.currentState == platform::SERVICE_STOPPED) {
                out.stopped = true;
                out.win32ExitCode = status.win32ExitCode;
                out.specificExitCode = status.serviceSpecificExitCode;
                return out;
            }
        }
        // A service stuck in a pending state must not hold the window for ever.
        if (platform::tickCount() - begin >= limitMs) {
            out.timedOut = true;
            return out;
        }
        waitStep(pump);
    }
}

ServiceControl::StopOutcome ServiceControl::stopService(uint32_t limitMs, const Pump& pump) {
    OpenService s;
    platform::ServiceStatus status;
    if (!s.open() || !platform::controlService(s.service, platform::SERVICE_CONTROL_STOP, status))
        return StopOutcome::Refused;
    const uint32_t begin = platform::tickCount();
    for (;;) {
        if (platform::queryServiceStatus(s.service, status) && status.currentState == platform::SERVICE_STOPPED)
            return StopOutcome::Stopped;
        if (platform::tickCount() - begin >= limitMs) return StopOutcome::TimedOut;
        waitStep(pump);
    }
}
