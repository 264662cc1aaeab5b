#include "ServiceInstall.h"

#include <cstdio>

#include "MainLoop.h"
#include "platform/ErrorText.h"
#include "platform/EventLog.h"
#include "platform/FileSystem.h"
#include "platform/HomeDirectory.h"
#include "platform/ServiceManager.h"

namespace {

// Exit codes are 8 bits: a Windows code could wrap to 0, so every failure is 1.
int Failed(const char* what) {
    const uint32_t code = platform::lastErrorCode();
    std::printf("%s failed - %s (%lu)\n", what, platform::systemErrorText(code).c_str(),
                static_cast<unsigned long>(code));
    return 1;
}

}  // namespace

int InstallService() {
    const std::string program = platform::programPath();
    if (program.empty()) return Failed("Finding the program file");
    platform::ServiceManagerHandle manager;
    if (!platform::openServiceManager(manager)) return Failed("OpenSCManager");
    platform::ServiceHandle service;
    if (!platform::createService(manager, kServiceName, kDisplayName, platform::SERVICE_WIN32_OWN_PROCESS,
                                 platform::SERVICE_DEMAND_START, platform::SERVICE_ERROR_NORMAL, program, service))
        return Failed("CreateService");
    // The program carries the message table the log formats its events with.
    platform::installEventSource(kServiceName, program);
    std::printf("%s installed.\n", kDisplayName);
    return 0;
}

int RemoveService() {
    platform::ServiceManagerHandle manager;
    if (!platform::openServiceManager(manager)) return Failed("OpenSCManager");
    platform::ServiceHandle service;
    if (!platform::openService(manager, kServiceName, service)) return Failed("OpenService");
    if (!platform::deleteService(service)) return Failed("DeleteService");
    std::printf("%s removed.\n", kDisplayName);
    return 0;
}
