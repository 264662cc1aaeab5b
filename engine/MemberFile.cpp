#include "MemberFile.h"

#include "platform/FileSystem.h"
#include "transport/TextRules.h"

bool ReadMemberFile(const std::string& path, MemberStore& store) {
    std::string content;
    if (!platform::readFile(path, content)) return false;
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

bool WriteMemberFile(const std::string& directory, const MemberStore& store) {
    std::string content;
    for (const Member& m : store.entries())
        if (m.isAdministrator) content.append(kAdministratorMarker).append(m.address).append(text::kLineEnd);
    for (const Member& m : store.entries())
        if (!m.isAdministrator) content.append(m.address).append(text::kLineEnd);

    // A ".TMP" name, so a leftover from a crash is swept by the next clean-up.
    std::string temp;
    if (!platform::writeTempFile(directory, "Members-", ".TMP", content, temp)) return false;

    const std::string current = platform::resolveName(directory, "Members.TXT");
    const std::string old = platform::resolveName(directory, "Members.OLD");
    if (platform::fileExists(current)) {
        platform::removeFile(old);
        // Keep the previous content as Members.OLD without ever leaving the
        // list without a Members.TXT.
        if (!platform::linkFile(current, old)) {
            std::string previous;
            if (!platform::readFile(current, previous) || !platform::writeFileAtomically(old, previous)) {
                platform::removeFile(temp);
                return false;
            }
        }
    }
    if (!platform::renameFile(temp, current)) {
        platform::removeFile(temp);
        return false;
    }
    platform::syncDirectory(directory);
    return true;
}

bool WriteMembers(const MailList& list) { return WriteMemberFile(list.directory, list.members); }
