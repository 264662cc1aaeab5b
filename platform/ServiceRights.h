// Who a service runs as, and what root believes before it starts one.
// Internal to the service manager.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

class RegistryKey;

namespace servicedetail {

struct ServiceAccount {
    std::string name;
    std::string home;
    bool switchUser = false;  // only root starts a service as another account
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// The account named `user` (empty: the caller's). Fails with 1069 when there
// is no such account, 5 when it is not the caller's and the caller is not root.
bool resolveServiceAccount(std::string user, ServiceAccount& out);

// True when only root can change `path`, nor replace it or any directory
// above it. A directory that all may write to but only owners may rename in
// (sticky, owned by root, like /tmp) does not let others replace what lies
// in it.
bool onlyRootCanChange(const std::string& path);

// Root runs whatever program and account the service database names: only a
// database entry that nobody else could have written is believed, and the
// program too when it is to run as root.
bool databaseTrusted(const RegistryKey& key, const std::string& program, bool runsAsRoot);

}  // namespace servicedetail
}  // namespace platform
