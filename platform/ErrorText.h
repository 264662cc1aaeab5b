// The system's description of an error code: errno values by strerror, and
// the Windows service and event codes the system reports by a small table.
#pragma once

#include <cstdint>
#include <string>

#include "ServiceErrors.h"

namespace platform {

// Empty when the system has no text for the code.
std::string systemErrorText(uint32_t code);

// Sets the calling thread's last error (what lastErrorCode() reports).
void setLastErrorCode(uint32_t code);

}  // namespace platform
