// Tick count and sleeping.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start; wraps like the classic 32-bit tick count.
uint32_t tickCount();

void sleepMs(uint32_t ms);

}  // namespace platform
