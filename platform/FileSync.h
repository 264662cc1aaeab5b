// Forcing written data to the disk before a file replaces another, so a
// crash leaves the old file or the whole new one, never a short one.
#pragma once

#include <cstdio>

namespace platform {

// Flushes the stream's buffer and has the system write the file to disk.
bool syncStream(std::FILE* stream);

}  // namespace platform
