#include "ServiceFrame.h"

#include <mutex>

#include "EventLogging.h"
#include "MainLoop.h"
#include "platform/ConsoleControl.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "platform/ServiceManager.h"

namespace {

constexpr uint32_t kServiceIntervalMs = 60000;

// The one status record of the process. The control handler (dispatcher
// thread) and the service thread both report, so every report takes the lock.
std::mutex statusMutex;
platform::ServiceStatus status;
platform::ServiceStatusHandle statusHandle = nullptr;
uint32_t checkPoint = 1;

// What a failed start leaves for the closing report of ServiceMain.
uint32_t startWin32ExitCode = 0;
uint32_t startSpecificExitCode = 0;

// A service has no console, but the system stops it with SIGTERM (service
// stop, shutdown): that and SIGINT stop it as the stop control does. The
// other console signals are ignored, as before.
bool ServiceSignalHandler(int ctrlType) {
    if (ctrlType != platform::kCtrlShutdownEvent && ctrlType != platform::kCtrlCEvent) return true;
    uint32_t state;
    {
        std::lock_guard lock(statusMutex);
        state = status.currentState;
    }
    if (state == platform::SERVICE_RUNNING)
        ServiceCtrlHandler(platform::SERVICE_CONTROL_STOP);
    else
        ServiceStop();  // still starting: the loop ends before its first pass
    return true;
}

}  // namespace

bool RunServiceDispatcher() { return platform::startServiceCtrlDispatcher(kServiceName, ServiceMain); }

void ServiceMain(uint32_t, char**) {
    const platform::ConsoleControl signals(ServiceSignalHandler);
    {
        std::lock_guard lock(statusMutex);
        status.serviceType = platform::SERVICE_WIN32_OWN_PROCESS;
        status.serviceSpecificExitCode = 0;
    }
    platform::ServiceStatusHandle handle = platform::registerServiceCtrlHandler(kServiceName, ServiceCtrlHandler);
    if (!handle) return;
    {
        std::lock_guard lock(statusMutex);
        statusHandle = handle;
    }
    if (ReportStatusToSCMgr(platform::SERVICE_START_PENDING, 0, 0, kStartWaitHintMs)) ServiceStart();
    ReportStatusToSCMgr(platform::SERVICE_STOPPED, startWin32ExitCode, startSpecificExitCode, 0);
}

void ServiceStart() {
    if (!ReportStatusToSCMgr(platform::SERVICE_START_PENDING, 0, 0, kStartWaitHintMs)) return;
    const int result = MainLoop(RunMode::Service, kServiceIntervalMs, false, [](LoopStage stage) {
        return stage == LoopStage::Initializing
                   ? ReportStatusToSCMgr(platform::SERVICE_START_PENDING, 0, 0, kStartWaitHintMs)
                   : ReportStatusToSCMgr(platform::SERVICE_RUNNING, 0, 0, 0);
    });
    if (result != 0) {
        startWin32ExitCode = platform::kErrorServiceSpecificError;
        startSpecificExitCode = static_cast<uint32_t>(result);
        ReportStatusToSCMgr(platform::SERVICE_STOPPED, startWin32ExitCode, startSpecificExitCode, kStartWaitHintMs);
    } else {
        LogEvent(0, 0, "KOVA(tm) Ringpost started", EVENTLOG_INFORMATION_TYPE);
    }
}

void ServiceCtrlHandler(uint32_t control) {
    if (control == platform::SERVICE_CONTROL_STOP) {
        ReportStatusToSCMgr(platform::SERVICE_STOP_PENDING, 0, 0, 0);
        ServiceStop();
        return;
    }
    uint32_t state;
    {
        std::lock_guard lock(statusMutex);
        state = status.currentState;
    }
    ReportStatusToSCMgr(state, 0, 0, 0);
}

bool ReportStatusToSCMgr(uint32_t currentState, uint32_t win32ExitCode, uint32_t serviceSpecificExitCode,
                         uint32_t waitHintMs) {
    bool accepted;
    uint32_t error = 0;
    {
        std::lock_guard lock(statusMutex);
        status.controlsAccepted =
            currentState == platform::SERVICE_START_PENDING ? 0 : platform::SERVICE_ACCEPT_STOP;
        status.currentState = currentState;
        status.win32ExitCode = win32ExitCode;
        status.serviceSpecificExitCode = serviceSpecificExitCode;
        status.waitHint = waitHintMs;
        if (currentState == platform::SERVICE_RUNNING || currentState == platform::SERVICE_STOPPED)
            status.checkPoint = 0;
        else
            status.checkPoint = checkPoint++;
        accepted = platform::setServiceStatus(statusHandle, status);
        if (!accepted) error = platform::lastErrorCode();
    }
    if (!accepted) {
        platform::setLastErrorCode(error);
        LogEvent(0, 0, "SetServiceStatus in ReportStatusToSCMgr", EVENTLOG_ERROR_TYPE);
    }
    return accepted;
}
