#include "SpoolCleanup.h"

#include <cstdio>

#include "platform/FileSystem.h"
#include "text/Printable.h"

namespace {
constexpr int64_t kSecondsPerDay = 86400;

// True when `written` plus `days` lies strictly before `now`. The age is
// computed in 64-bit seconds, so no Keep value can wrap around.
bool olderThan(const platform::FileTime& written, int32_t days, const platform::FileTime& now) {
    const int64_t shifted = written.seconds + static_cast<int64_t>(days) * kSecondsPerDay;
    if (shifted != now.seconds) return shifted < now.seconds;
    return written.nanoseconds < now.nanoseconds;
}
}  // namespace

std::string AttachmentFolder(const std::string& spoolPath) {
    if (spoolPath.size() < 4) return {};
    return spoolPath.substr(0, spoolPath.size() - 4);
}

void RemoveOldFiles(const MailList& list, std::string kind, int32_t ageLimitDays) {
    if (!kind.empty() && kind[0] == '.') kind.erase(0, 1);
    std::printf("  Removing old %s files...\n", kind.c_str());
    const auto entries = platform::findFiles(list.directory, "*." + kind);
    const platform::FileTime now = platform::currentTime();
    long removed = 0;
    for (const auto& entry : entries) {
        const std::string path = list.directory + entry.name;
        platform::FileTime written;
        if (!platform::lastWriteTime(path, written)) continue;  // vanished meanwhile
        // The age limit passed in decides, not the list's Keep: a failed
        // message (".BAD") must live its 30 days even when Keep is 0.
        if (ageLimitDays > 0 && !olderThan(written, ageLimitDays, now)) continue;
        std::printf("    Removing %s\n", text::printable(path).c_str());
        platform::removeFile(path);
        DeleteAttachments(list, path);
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
    const std::string folder = AttachmentFolder(spoolPath);
    long removed = 0;
    if (!folder.empty()) {
        for (const auto& entry : platform::findFiles(folder, "*.*")) {
            if (entry.isDirectory) continue;
            const std::string path = folder + "/" + entry.name;
            std::printf("      Removing %s\n", text::printable(AbbreviatePath(path, 64)).c_str());
            platform::removeFile(path);
            ++removed;
        }
    }
    if (removed == 1)
        std::printf("      Removed 1 attachment.\n");
    else if (removed > 1)
        std::printf("      Removed %ld attachments.\n", removed);
    if (!folder.empty()) platform::removeEmptyDirectory(folder);
}

std::string ListAttachments(const MailList&, const std::string& spoolPath) {
    std::string result;
    if (spoolPath.empty()) return result;
    const std::string folder = AttachmentFolder(spoolPath);
    if (folder.empty()) return result;
    for (const auto& entry : platform::findFiles(folder, "*.*")) {
        if (entry.isDirectory) continue;
        result += folder + "/" + entry.name + "|";
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
