// Gives the test program its own system directory (registry, services, event
// log) for as long as it runs.
#pragma once

#include <cstdlib>
#include <stdexcept>

#include "TempDir.h"

class SystemDirFixture {
public:
    SystemDirFixture() { ::setenv("RINGPOST_SYSTEM_DIR", dir_.path().c_str(), 1); }
    const std::string& path() const { return dir_.path(); }

private:
    TempDir dir_;
};
