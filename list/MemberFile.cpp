#include "MemberFile.h"

#include <cerrno>
#include <sys/stat.h>

#include "platform/Directory.h"
#include "platform/ErrorText.h"
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

    const platform::Directory dir = platform::Directory::open(directory);
    if (!dir) return false;
    const std::string current = dir.findName(kMemberFile);
    const std::string old = dir.findName(kOldMemberFile);
    // A ".TMP" name, so a leftover from a crash is swept by the next clean-up.
    platform::PendingFile temp;
    if (!dir.writeTemporary("Members-", ".TMP", content, temp, current)) return false;

    // Only a regular member file is kept as Members.OLD: a link in its place
    // is replaced, never read or linked.
    if (dir.type(current) == platform::EntryType::File) {
        dir.remove(old);
        // Keep the previous content as Members.OLD without ever leaving the
        // list without a Members.TXT.
        if (!dir.link(current, old)) {
            std::string previous;
            if (!dir.readFile(current, previous) || !dir.writeFile(old, previous)) return false;
        }
    }
    platform::FileIdentity identity;
    if (!platform::fileIdentity(temp.file().get(), identity) || !temp.commit(current)) return false;
    if (written) *written = identity;
    return true;
}

MemberRefresh reloadIfChanged(const std::string& directory, MemberStore& members, platform::FileIdentity& onDisk) {
    const platform::Directory dir = platform::Directory::open(directory);
    const std::string name = dir.findName(kMemberFile);
    platform::FileIdentity now;
    // A vanished file is no reason to forget every member.
    if (!dir || !dir.identity(name, now) || now == onDisk) return MemberRefresh::Unchanged;
    MemberStore fresh;
    platform::FileIdentity read;
    if (!readMemberFile(dir.pathOf(name), fresh, &read)) {
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
    // Another list's member file behind a link must never be taken for this one's.
    if (!platform::readRegularFile(path, content, &read)) return false;
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
