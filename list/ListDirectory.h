// What makes a directory beside the programs a list, and the names of the
// files in it that both programs use.
#pragma once

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

// A list directory holds Settings.INI and Members.TXT, in any letter case.
bool isListDirectory(const std::string& directory, ListFiles need = ListFiles::Present);

}  // namespace list
