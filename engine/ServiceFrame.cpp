#include "ServiceFrame.h"

#include "platform/ErrorText.h"

// Until the service manager exists the dispatcher fails as it does for a
// program started from a shell.
bool RunServiceDispatcher() {
    platform::setLastErrorCode(platform::kErrorFailedServiceControllerConnect);
    return false;
}

void ServiceMain(uint32_t, char**) {}
void ServiceStart() {}
void ServiceCtrlHandler(uint32_t) {}
bool ReportStatusToSCMgr(uint32_t, uint32_t, uint32_t, uint32_t) { return false; }
