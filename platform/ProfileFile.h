// Private-profile (INI) files with the classic semantics: section and key
// names ignore case, the first match wins, values lose surrounding blanks and
// one pair of matching quotes, a missing key or file gives the default.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Reads [section] key from `path`. At most `bufferSize` - 1 bytes are
// returned, as through a fixed buffer of that size.
std::string getPrivateProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                    size_t bufferSize, const std::string& path);

// Sets [section] key = value in `path`, keeping every other line as it is:
// a missing section is added at the end, a missing key at the end of its
// section. Lines are written with CR LF. The file is replaced atomically.
bool writePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path);

}  // namespace platform
