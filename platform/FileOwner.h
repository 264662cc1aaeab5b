// File ownership by user name: servers that drop root (Dovecot's mail user)
// must own the files they are handed.
#pragma once

#include <string>

namespace platform {

// The numeric user and group id of a local user; false when there is none.
bool lookUpUser(const std::string& name, unsigned* uid, unsigned* gid);

// Gives path to the user (and the user's group). False when the user is
// unknown or the change fails.
bool setOwner(const std::string& path, const std::string& userName);

}  // namespace platform
