// The id of the running process; it changes in the child of a fork, which is
// how process-wide state learns that its threads stayed behind in the parent.
#pragma once

#include <cstdint>

namespace platform {

uint32_t currentProcessId();

}  // namespace platform
