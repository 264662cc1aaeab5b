#include "BounceRecord.h"

#include <string_view>

#include "ListDirectory.h"
#include "MemberFile.h"
#include "platform/ErrorText.h"
#include "platform/Directory.h"
#include "text/TextRules.h"

namespace list {

namespace {

// A field never holds the separators: a tab, a line end or any other
// control byte in a report's text becomes a space.
std::string field(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) c = ' ';
    return out;
}

}  // namespace

bool readBounceRecord(const std::string& directory, std::vector<BounceEntry>& entries) {
    entries.clear();
    const platform::Directory dir = platform::Directory::open(directory);
    if (!dir) return false;
    const std::string name = dir.findName(kBounceFile);
    if (dir.type(name) == platform::EntryType::Missing) return true;
    // A link or special file in the record's place is never read.
    std::string content;
    if (!dir.readFile(name, content)) return false;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        if (nl == std::string::npos) nl = content.size();
        const std::vector<std::string> parts =
            text::splitTabs(text::stripLineEnd(std::string_view(content).substr(pos, nl - pos)));
        pos = nl + 1;
        if (parts.size() < 4 || parts[0].empty()) continue;
        BounceEntry e;
        e.address = parts[0];
        e.count = text::atol32(parts[1]);
        e.first = parts[2];
        e.last = parts[3];
        if (parts.size() > 4) e.status = parts[4];
        if (parts.size() > 5) e.reason = parts[5];
        entries.push_back(std::move(e));
    }
    return true;
}

bool writeBounceRecord(const std::string& directory, const std::vector<BounceEntry>& entries) {
    std::string content;
    for (const BounceEntry& e : entries) {
        content += field(e.address) + '\t' + std::to_string(e.count) + '\t' + field(e.first) + '\t' +
                   field(e.last) + '\t' + field(e.status) + '\t' + field(e.reason);
        content += text::kLineEnd;
    }
    MemberFileLock lock(directory);
    if (!lock.locked()) return false;
    const platform::Directory dir = platform::Directory::open(directory);
    if (!dir) return false;
    const std::string name = dir.findName(kBounceFile);
    // Mode and owner of the record itself, or of the member file for a first one.
    const std::string model = dir.type(name) == platform::EntryType::File ? name : dir.findName(kMemberFile);
    // A ".TMP" name, so a leftover from a crash is swept by the next clean-up.
    platform::PendingFile temp;
    return dir.writeTemporary("Bounces-", ".TMP", content, temp, model) && temp.commit(name);
}

}  // namespace list
