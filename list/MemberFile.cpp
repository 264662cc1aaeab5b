#include "MemberFile.h"

#include <cerrno>
#include <sys/stat.h>

#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "ListDirectory.h"
#include "text/TextRules.h"

namespace list {

namespace {

std::string lockPath(const std::string& directory) { return platform::joinPath(directory, kMemberLockFile); }

// Owner-only, unless the list directory is shared with a group: then the
// group's writers (engine or console) must be able to take the lock too.
unsigned lockMode(const std::string& directory) {
    struct stat st {};
    if (::stat(directory.empty() ? "." : directory.c_str(), &st) == 0 && (st.st_mode & S_IWGRP)) return 0660;
    return 0600;
}

bool writeLocked(const std::string& directory, const MemberStore& store, platform::FileIdentity* written) {
    std::string content;
    for (const Member& m : store.entries())
        if (m.isAdministrator) content.append(kAdministratorMarker).append(m.address).append(text::kLineEnd);
    for (const Member& m : store.entries())
        if (!m.isAdministrator) content.append(m.address).append(text::kLineEnd);

    const std::string current = platform::resolveName(directory, kMemberFile);
    const std::string old = platform::resolveName(directory, kOldMemberFile);
    // A ".TMP" name, so a leftover from a crash is swept by the next clean-up.
    std::string temp;
    if (!platform::writeTempFile(directory, "Members-", ".TMP", content, temp, current)) return false;

    const auto giveUp = [&temp] {
        const uint32_t code = platform::lastErrorCode();
        platform::removeFile(temp);
        platform::setLastErrorCode(code);
        return false;
    };
    if (platform::fileExists(current)) {
        platform::removeFile(old);
        // Keep the previous content as Members.OLD without ever leaving the
        // list without a Members.TXT.
        if (!platform::linkFile(current, old)) {
            std::string previous;
            if (!platform::readFile(current, previous) || !platform::writeFileAtomically(old, previous, 0600))
                return giveUp();
        }
    }
    platform::FileIdentity identity;
    if (!platform::fileIdentity(temp, identity) || !platform::renameFile(temp, current)) return giveUp();
    platform::syncDirectory(directory);
    if (written) *written = identity;
    return true;
}

MemberRefresh reloadIfChanged(const std::string& directory, MemberStore& members, platform::FileIdentity& onDisk) {
    const std::string path = platform::resolveName(directory, kMemberFile);
    platform::FileIdentity now;
    // A vanished file is no reason to forget every member.
    if (!platform::fileIdentity(path, now) || now == onDisk) return MemberRefresh::Unchanged;
    MemberStore fresh;
    platform::FileIdentity read;
    if (!readMemberFile(path, fresh, &read)) {
        const uint32_t code = platform::lastErrorCode();
        onDisk = platform::FileIdentity{};
        platform::setLastErrorCode(code != 0 ? code : EIO);
        return MemberRefresh::Unreadable;
    }
    members = std::move(fresh);
    onDisk = read;
    return MemberRefresh::Reloaded;
}

}  // namespace

bool readMemberFile(const std::string& path, MemberStore& store, platform::FileIdentity* identity) {
    std::string content;
    platform::FileIdentity read;
    if (!platform::readFile(path, content, &read)) return false;
    if (identity) *identity = read;
    // Lines are read whole: cutting a long address into pieces would make
    // bogus members that the next rewrite stores for good.
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        if (nl == std::string::npos) nl = content.size();
        const std::string line = text::stripLineEnd(std::string_view(content).substr(pos, nl - pos));
        if (line.compare(0, 3, kAdministratorMarker) == 0)
            store.append(line.substr(3), true);
        else
            store.append(line, false);
        pos = nl + 1;
    }
    return true;
}

MemberFileLock::MemberFileLock(const std::string& directory) : lock_(lockPath(directory), lockMode(directory)) {}

bool writeMemberFile(const std::string& directory, const MemberStore& store) {
    MemberFileLock lock(directory);
    if (!lock.locked()) return false;
    return writeLocked(directory, store, nullptr);
}

MemberRefresh refreshMembers(const std::string& directory, MemberStore& members, platform::FileIdentity& onDisk) {
    return reloadIfChanged(directory, members, onDisk);
}

bool changeMembers(const std::string& directory, MemberStore& members, platform::FileIdentity& onDisk,
                   const std::function<bool(MemberStore&)>& change, uint32_t& errorCode, bool* written) {
    if (written) *written = false;
    MemberFileLock lock(directory);
    if (!lock.locked()) {
        errorCode = platform::lastErrorCode();
        return false;
    }
    if (reloadIfChanged(directory, members, onDisk) == MemberRefresh::Unreadable) {
        errorCode = platform::lastErrorCode();
        return false;
    }
    MemberStore before = members;
    if (!change(members)) return true;
    if (!writeLocked(directory, members, &onDisk)) {
        errorCode = platform::lastErrorCode();
        members = std::move(before);
        return false;
    }
    if (written) *written = true;
    return true;
}

}  // namespace list
