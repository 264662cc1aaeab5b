#include "ErrorText.h"

#include <cerrno>
#include <cstring>

namespace platform {

std::string systemErrorText(uint32_t code) {
    switch (code) {
    // Codes the registry and the service manager return where errno has a
    // different meaning for the same number.
    case 5: return "Access is denied.";
    case 6: return "The handle is invalid.";
    case 87: return "The parameter is incorrect.";
    case 234: return "More data is available.";
    case 259: return "No more data is available.";
    case 1018: return "Illegal operation attempted on a registry key that has been marked for deletion.";
    case 1052: return "The requested control is not valid for this service.";
    case 1058: return "The service cannot be started, either because it is disabled or because it has no enabled devices associated with it.";
    case 1069: return "The service did not start due to a logon failure.";
    case 1053: return "The service did not respond to the start or control request in a timely fashion.";
    case 1056: return "An instance of the service is already running.";
    case 1060: return "The specified service does not exist as an installed service.";
    case 1061: return "The service cannot accept control messages at this time.";
    case 1062: return "The service has not been started.";
    case 1063: return "The service process could not connect to the service controller.";
    case 1066: return "The service has returned a service-specific error code.";
    case 1067: return "The process terminated unexpectedly.";
    case 1072: return "The specified service has been marked for deletion.";
    case 1073: return "The specified service already exists.";
    default: break;
    }
    // errno values are small; anything else has no text here.
    if (code > 4095) return {};
    char buf[256];
    const char* text = ::strerror_r(static_cast<int>(code), buf, sizeof buf);
    if (!text || std::strncmp(text, "Unknown error", 13) == 0) return {};
    return text;
}

// errno is the last error of the calling thread; it carries the Windows codes
// too, which is why the table above wins over strerror for the few that clash.
void setLastErrorCode(uint32_t code) { errno = static_cast<int>(code); }

}  // namespace platform
