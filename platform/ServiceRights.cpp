#include "ServiceRights.h"

#include <algorithm>
#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Registry.h"
#include "ServiceErrors.h"
#include "ServiceRuntime.h"

namespace platform::servicedetail {

bool resolveServiceAccount(std::string user, ServiceAccount& out) {
    out = ServiceAccount{};
    if (user.empty()) user = currentUserName();
    const passwd* pw = ::getpwnam(user.c_str());
    if (!pw) return fail(kErrorServiceLogonFailed);
    if (pw->pw_uid != ::geteuid()) {
        if (::geteuid() != 0) return fail(kErrorAccessDenied);
        out.switchUser = true;
        out.gid = pw->pw_gid;
        int count = 64;
        out.groups.resize(static_cast<size_t>(count));
        if (::getgrouplist(pw->pw_name, pw->pw_gid, out.groups.data(), &count) < 0) {
            out.groups.resize(static_cast<size_t>(count));
            ::getgrouplist(pw->pw_name, pw->pw_gid, out.groups.data(), &count);
        }
        out.groups.resize(static_cast<size_t>(std::max(count, 0)));
    }
    out.uid = pw->pw_uid;
    out.home = pw->pw_dir ? pw->pw_dir : "/";
    out.name = pw->pw_name;
    return true;
}

bool onlyRootCanChange(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return false;
    std::string p = real;
    std::free(real);
    bool last = true;
    for (;;) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || st.st_uid != 0) return false;
        const bool groupWrites = (st.st_mode & S_IWGRP) && st.st_gid != 0;
        const bool othersWrite = (st.st_mode & S_IWOTH) != 0;
        const bool sticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
        if ((groupWrites || othersWrite) && (last || !sticky)) return false;
        if (p == "/") return true;
        const size_t slash = p.rfind('/');
        p = slash == 0 ? "/" : p.substr(0, slash);
        last = false;
    }
}

bool databaseTrusted(const RegistryKey& key, const std::string& program, bool runsAsRoot) {
    std::vector<std::string> trusted = regKeyFiles(key);
    trusted.push_back(servicesDir());
    if (runsAsRoot) trusted.push_back(program);
    return std::all_of(trusted.begin(), trusted.end(), onlyRootCanChange);
}

}  // namespace platform::servicedetail
