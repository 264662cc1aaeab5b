#include "ListTextFiles.h"

#include "Spool.h"
#include "SpoolReading.h"
#include "text/TextRules.h"

namespace {

platform::UniqueFd openText(const platform::Directory& folder, const std::string& name, platform::EntryType* found) {
    return folder.openFile(folder.findName(name), found);
}

}  // namespace

void AppendTextFile(const MailList& list, const std::string& path, std::string& text) {
    if (path.compare(0, list.directory.size(), list.directory) != 0) return;
    // A value holding a full path still names a file inside the directory.
    std::string relative = path.substr(list.directory.size());
    while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
    const platform::Directory dir = platform::Directory::open(list.directory);
    if (!dir || relative.empty()) return;
    platform::EntryType found = platform::EntryType::Missing;
    platform::UniqueFd fd;
    const size_t slash = relative.rfind('/');
    if (slash == std::string::npos) {
        fd = openText(dir, relative, &found);
    } else if (const platform::Directory folder = dir.openFolder(relative.substr(0, slash), &found)) {
        fd = openText(folder, relative.substr(slash + 1), &found);
    }
    if (!fd && (found == platform::EntryType::Link || found == platform::EntryType::Other)) ReportLeftAlone(path);
    const platform::StdioFile file = platform::adoptFile(std::move(fd), "rb");
    if (!file) return;
    std::string line;
    while (ReadLine(file.get(), line)) {
        text += line;
        text += text::kLineEnd;
    }
}
