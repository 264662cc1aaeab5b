#include "ListDirectory.h"

#include <fstream>

#include "platform/FileSystem.h"

namespace list {

namespace {

bool usable(const std::string& path, ListFiles need) {
    if (!platform::fileExists(path)) return false;
    return need == ListFiles::Present || std::ifstream(path, std::ios::binary).is_open();
}

}  // namespace

bool isListDirectory(const std::string& directory, ListFiles need) {
    return usable(platform::resolveName(directory, kSettingsFile), need) &&
           usable(platform::resolveName(directory, kMemberFile), need);
}

}  // namespace list
