#include "SpoolCleanup.h"

#include <cstdio>

#include "text/Printable.h"

namespace {

// True when `written` plus `days` lies strictly before `now`. The age is
// computed in 64-bit seconds, so no Keep value can wrap around.
bool olderThan(const platform::FileTime& written, int32_t days, const platform::FileTime& now) {
    const int64_t shifted = written.seconds + static_cast<int64_t>(days) * kSecondsPerDay;
    if (shifted != now.seconds) return shifted < now.seconds;
    return written.nanoseconds < now.nanoseconds;
}

// The folder x belongs to whichever of x.NEW, x.MSG and x.BAD is left: a
// leftover x.TMP going must not take the attachments of the post x.NEW.
bool folderStillUsed(const platform::Directory& dir, const std::string& spoolPath) {
    for (const SpoolState s : {SpoolState::Fetched, SpoolState::Archived, SpoolState::SetAside})
        if (dir.type(SpoolName(SpoolPath(spoolPath, s))) == platform::EntryType::File) return true;
    return false;
}

}  // namespace

platform::Directory OpenAttachments(const std::string& spoolPath) {
    const std::string folder = AttachmentFolder(spoolPath);
    platform::EntryType found = platform::EntryType::Missing;
    platform::Directory attachments;
    if (const platform::Directory dir = SpoolDirectory(spoolPath); dir && !folder.empty())
        attachments = dir.openFolder(SpoolName(folder), &found);
    if (!attachments && found != platform::EntryType::Missing) ReportLeftAlone(folder, true);
    return attachments;
}

void RemoveOldFiles(const MailList& list, std::string kind, int32_t ageLimitDays) {
    if (!kind.empty() && kind[0] == '.') kind.erase(0, 1);
    std::printf("  Removing old %s files...\n", kind.c_str());
    const platform::Directory dir = platform::Directory::open(list.directory);
    if (!dir) return;
    const platform::FileTime now = platform::currentTime();
    long removed = 0;
    for (const SpoolFile& file : ListSpoolFiles(dir, "*." + kind)) {
        // The age limit passed in decides, not the list's Keep: a failed
        // message (".BAD") must live its 30 days even when Keep is 0.
        if (ageLimitDays > 0 && !olderThan(file.written, ageLimitDays, now)) continue;
        std::printf("    Removing %s\n", text::printable(file.path).c_str());
        dir.remove(file.name);
        if (!folderStillUsed(dir, file.path)) DeleteAttachments(list, file.path);
        ++removed;
    }
    if (removed == 1)
        std::printf("    Removed 1 %s file.\n", kind.c_str());
    else if (removed > 1)
        std::printf("    Removed %ld %s files.\n", removed, kind.c_str());
}

void DeleteAttachments(const MailList&, const std::string& spoolPath) {
    if (spoolPath.empty()) return;
    std::printf("    Deleting attachments...\n");
    const platform::Directory attachments = OpenAttachments(spoolPath);
    if (!attachments) return;
    long removed = 0;
    for (const auto& entry : attachments.list("*")) {
        if (entry.type == platform::EntryType::Folder) continue;
        // Whatever it is, only its name goes: a link is never followed.
        std::printf("      Removing %s\n", text::printable(AbbreviatePath(attachments.pathOf(entry.name), 64)).c_str());
        attachments.remove(entry.name);
        ++removed;
    }
    if (removed == 1)
        std::printf("      Removed 1 attachment.\n");
    else if (removed > 1)
        std::printf("      Removed %ld attachments.\n", removed);
    DropEmptyAttachmentFolder(spoolPath);
}

std::string ListAttachments(const MailList&, const std::string& spoolPath) {
    std::string result;
    if (spoolPath.empty()) return result;
    const platform::Directory attachments = OpenAttachments(spoolPath);
    if (!attachments) return result;
    for (const auto& entry : attachments.list("*")) {
        if (entry.type == platform::EntryType::Folder) continue;
        // Only what the decoder wrote is mailed out, never what a link reaches.
        if (entry.type != platform::EntryType::File) {
            ReportLeftAlone(attachments.pathOf(entry.name));
            continue;
        }
        result += attachments.pathOf(entry.name) + "|";
    }
    if (!result.empty() && result.back() == '|') result.pop_back();
    return result;
}

std::string AbbreviatePath(const std::string& path, int32_t maximum) {
    if (maximum >= 7 && path.size() > static_cast<size_t>(maximum)) {
        const size_t half = static_cast<size_t>((maximum - 5) / 2);
        return path.substr(0, half) + " ... " + path.substr(path.size() - half);
    }
    return path;
}
