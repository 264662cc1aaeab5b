#include "ListDirectory.h"

#include "platform/Directory.h"
#include "platform/FileSystem.h"

namespace list {

namespace {

// Only a regular file counts: a link in its place would make the list run
// with another list's servers, passwords or members.
bool usable(const platform::Directory& dir, const char* file, ListFiles need) {
    const std::string name = dir.findName(file);
    if (dir.type(name) != platform::EntryType::File) return false;
    return need == ListFiles::Present || static_cast<bool>(dir.openFile(name));
}

}  // namespace

bool isListDirectory(const std::string& directory, ListFiles need) {
    const platform::Directory dir = platform::Directory::open(directory);
    return dir && usable(dir, kSettingsFile, need) && usable(dir, kMemberFile, need);
}

uint32_t removeListDirectory(const std::string& home, const std::string& name) {
    const platform::Directory homeDir = platform::Directory::open(home);
    if (!homeDir) return platform::lastErrorCode();
    platform::EntryType found = platform::EntryType::Missing;
    const platform::Directory dir = homeDir.openFolder(name, &found);
    if (!dir) {
        // A link in the list's place goes itself, never what it leads to.
        if (found == platform::EntryType::Link && homeDir.remove(name)) return 0;
        return platform::lastErrorCode();
    }
    for (const platform::DirectoryEntry& e : dir.list("*.*")) {
        if (e.type == platform::EntryType::Folder) continue;
        if (!dir.remove(e.name)) return platform::lastErrorCode();
    }
    return homeDir.removeFolder(name) ? 0 : platform::lastErrorCode();
}

}  // namespace list
