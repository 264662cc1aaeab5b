// Members.TXT: one address a line, administrators marked with a leading "_!_".
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "MemberStore.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"

namespace list {

inline constexpr char kAdministratorMarker[] = "_!_";

// Appends the entries of the member file at `path` to `store` in file order.
// False when the file cannot be opened or read (the store and `identity` are
// left as they were). `identity`, when given, describes the file as it was read.
bool readMemberFile(const std::string& path, MemberStore& store, platform::FileIdentity* identity = nullptr);

// Held by every writer of a list's member file, the engine's and the
// console's alike, so that neither replaces the other's change unseen.
class MemberFileLock {
public:
    explicit MemberFileLock(const std::string& directory);
    bool locked() const { return lock_.locked(); }

private:
    platform::FileLock lock_;
};

// Rewrites the member file of the list directory `directory` from `store`,
// administrators first, under the member-file lock. The new content is
// complete on disk before it replaces Members.TXT, which keeps its mode and
// owner (a new one is owner-only); the previous file stays as Members.OLD.
// On any failure Members.TXT is left untouched, false is returned and
// platform::lastErrorCode() tells why.
bool writeMemberFile(const std::string& directory, const MemberStore& store);

// For a writer that keeps the members in memory: `members` as read from or
// last written to the member file of `directory`, which `onDisk` describes.
// refreshMembers takes up a member file changed on disk (by hand or by the
// console) since then. A file that has vanished counts as unchanged. When
// the changed file cannot be read, `members` stays as it was, `onDisk` is
// forgotten (so the next call reads again) and platform::lastErrorCode()
// tells why.
enum class MemberRefresh { Unchanged, Reloaded, Unreadable };
MemberRefresh refreshMembers(const std::string& directory, MemberStore& members, platform::FileIdentity& onDisk);

// One change of the members, made under the member-file lock on the members
// as they are on disk: `change` edits the store and returns whether there is
// anything to write. When the rewrite fails, `members` is put back as it was
// before `change`, false is returned and `errorCode` tells why. A member file
// that exists but cannot be read is never rewritten: writing what is in
// memory would drop the members it holds, so that fails the same way.
// `written` (may be null) tells whether the file was rewritten.
bool changeMembers(const std::string& directory, MemberStore& members, platform::FileIdentity& onDisk,
                   const std::function<bool(MemberStore&)>& change, uint32_t& errorCode, bool* written = nullptr);

}  // namespace list
