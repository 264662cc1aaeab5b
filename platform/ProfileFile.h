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

// The same rules on a profile file's text, for a writer that puts the file
// in place itself: whether [section] key is there (and its value), and the
// text with [section] key = value set.
bool findProfileValue(std::string_view content, std::string_view section, std::string_view key, std::string& value);
std::string setProfileString(std::string_view content, std::string_view section, std::string_view key,
                             std::string_view value);

}  // namespace platform
