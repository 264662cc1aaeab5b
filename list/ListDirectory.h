// What makes a directory beside the programs a list, and the names of the
// files in it that both programs use.
#pragma once

#include <cstdint>
#include <string>

namespace list {

inline constexpr char kSettingsFile[] = "Settings.INI";
inline constexpr char kMemberFile[] = "Members.TXT";
inline constexpr char kOldMemberFile[] = "Members.OLD";
inline constexpr char kMemberLockFile[] = "Members.LCK";
inline constexpr char kBounceFile[] = "Bounces.TXT";

enum class ListFiles {
    Present,   // both files exist
    Readable,  // both exist and open for reading (the console shows only what it can open)
};

// A list directory holds Settings.INI and Members.TXT, in any letter case, as
// regular files: a link or special file under either name makes no list.
bool isListDirectory(const std::string& directory, ListFiles need = ListFiles::Present);

// Removes the list directory `name` of the home directory `home`: every
// entry in it but folders, then the directory itself, which fails (with
// ENOTEMPTY) while a folder is left. Nothing is followed: a link inside goes
// as a link, and a link in the list's own place goes itself. 0, or the
// error that stopped it.
uint32_t removeListDirectory(const std::string& home, const std::string& name);

}  // namespace list
