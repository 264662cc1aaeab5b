#include "SystemDirectory.h"

#include <cstdlib>
#include <sys/stat.h>

#include "FileSystem.h"

namespace platform {

std::string systemDirectory() {
    const char* env = std::getenv("RINGPOST_SYSTEM_DIR");
    std::string dir = (env && *env) ? env : "/var/lib/ringpost";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool ensureDirectory(const std::string& path) {
    if (path.empty()) return false;
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            const std::string part = path.substr(0, pos);
            ::mkdir(part.c_str(), 0755);
        }
    }
    return directoryExists(path);
}

}  // namespace platform
