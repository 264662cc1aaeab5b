#include "HomeDirectory.h"

#include <climits>
#include <unistd.h>

namespace platform {

std::string programPath() {
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string homeDirectory() {
    const std::string exe = programPath();
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return exe.substr(0, slash + 1);
}

}  // namespace platform
