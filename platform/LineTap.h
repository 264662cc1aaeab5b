// A stdio stream that writes through to a file descriptor and hands each
// complete line it carried to a callback, for a program that must both keep
// its output where it goes and watch it.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

namespace platform {

using LineHandler = std::function<void(std::string_view line)>;

// Lines reach `onLine` without their end (LF, and a CR before it). What
// follows the last line end goes at fclose. Null when the stream cannot be made.
FILE* openLineTap(int fd, LineHandler onLine);

}  // namespace platform
