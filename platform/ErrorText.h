// The system's description of an error code: errno values by strerror, and
// the Windows service and event codes the system reports by a small table.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Windows codes the service manager stand-in and the engine report.
inline constexpr uint32_t kErrorServiceRequestTimeout = 1053;
inline constexpr uint32_t kErrorServiceAlreadyRunning = 1056;
inline constexpr uint32_t kErrorServiceDoesNotExist = 1060;
inline constexpr uint32_t kErrorServiceCannotAcceptCtrl = 1061;
inline constexpr uint32_t kErrorServiceNotActive = 1062;
inline constexpr uint32_t kErrorFailedServiceControllerConnect = 1063;
inline constexpr uint32_t kErrorServiceSpecificError = 1066;
inline constexpr uint32_t kErrorProcessAborted = 1067;
inline constexpr uint32_t kErrorServiceMarkedForDelete = 1072;
inline constexpr uint32_t kErrorServiceExists = 1073;

// Empty when the system has no text for the code.
std::string systemErrorText(uint32_t code);

// Sets the calling thread's last error (what lastErrorCode() reports).
void setLastErrorCode(uint32_t code);

}  // namespace platform
