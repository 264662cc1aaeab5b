// The system directory: the machine-wide state the registry store, the
// service database and the event log keep ($RINGPOST_SYSTEM_DIR, else
// /var/lib/ringpost).
#pragma once

#include <string>

namespace platform {

// Without trailing '/'.
std::string systemDirectory();

// Creates `path` and its missing parents (mode 0755). True when it exists afterwards.
bool ensureDirectory(const std::string& path);

}  // namespace platform
