#include "FileOwner.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {

bool lookUpUser(const std::string& name, unsigned* uid, unsigned* gid) {
    passwd pw{};
    passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (::getpwnam_r(name.c_str(), &pw, buf.data(), buf.size(), &found) != 0 || !found) return false;
    if (uid) *uid = found->pw_uid;
    if (gid) *gid = found->pw_gid;
    return true;
}

bool setOwner(const std::string& path, const std::string& userName) {
    unsigned uid = 0, gid = 0;
    if (!lookUpUser(userName, &uid, &gid)) return false;
    return ::chown(path.c_str(), uid, gid) == 0;
}

}  // namespace platform
