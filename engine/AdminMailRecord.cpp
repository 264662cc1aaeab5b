#include "AdminMailRecord.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string_view>

#include "Spool.h"
#include "text/TextRules.h"
#include "platform/FileSystem.h"

namespace {

struct Entry {
    int64_t actedAt = 0;
    std::string id;
};

// The entries still within the list's Keep days; a line that cannot be read
// is dropped.
std::vector<Entry> readRecord(const MailList& list, const platform::Directory& directory) {
    std::vector<Entry> entries;
    std::string text;
    if (!ReadSpoolRecord(directory, kAdminMailFile, text)) return entries;
    const int64_t oldest = platform::currentTime().seconds - int64_t{KeepDays(list)} * kSecondsPerDay;
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
        const size_t tab = line.find('\t');
        if (tab == 0 || tab == std::string_view::npos || tab + 1 == line.size()) continue;
        int64_t at = 0;
        if (text::readWholeNumber(line.substr(0, tab), at) && at >= oldest)
            entries.push_back({at, std::string(line.substr(tab + 1))});
    }
    return entries;
}

}  // namespace

ActedOn RecordActedOn(const MailList& list, const std::vector<std::string>& ids, bool checkReplay) {
    const platform::Directory directory = platform::Directory::open(list.directory);
    if (!directory) return ActedOn::NotWritten;
    const std::vector<Entry> entries = readRecord(list, directory);
    if (checkReplay)
        for (const Entry& e : entries)
            if (std::find(ids.begin(), ids.end(), e.id) != ids.end()) return ActedOn::Before;
    std::string text;
    std::set<std::string> kept;
    for (const Entry& e : entries) {
        if (!kept.insert(e.id).second) continue;
        text += std::to_string(e.actedAt) + "\t" + e.id + "\r\n";
    }
    const std::string now = std::to_string(platform::currentTime().seconds);
    for (const std::string& id : ids)
        if (kept.insert(id).second) text += now + "\t" + id + "\r\n";
    return WriteSpoolRecord(directory, kAdminMailFile, text) ? ActedOn::Recorded : ActedOn::NotWritten;
}
