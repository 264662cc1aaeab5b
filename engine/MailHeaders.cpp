#include "MailHeaders.h"

#include <cstdio>

#include "Spool.h"
#include "SpoolReading.h"
#include "platform/StdioFile.h"
#include "text/TextRules.h"

namespace {
// A header block this long is no mail a person wrote; the rest is ignored.
constexpr size_t kMaxFields = 1000;
constexpr size_t kMaxIdLength = 250;

bool idChar(char c) { return c > ' ' && c < 0x7F && c != '<' && c != '>'; }
}  // namespace

const std::string* MailHeaders::find(std::string_view name) const {
    for (const auto& [n, v] : fields)
        if (text::equalsIgnoreCase(n, name)) return &v;
    return nullptr;
}

bool ReadMailHeaders(const std::string& path, MailHeaders& headers) {
    headers.fields.clear();
    // Only a regular file of the spool; its reader reports anything else.
    const platform::Directory dir = SpoolDirectory(path);
    platform::StdioFile file = platform::adoptFile(dir ? dir.openFile(SpoolName(path)) : platform::UniqueFd(), "rb");
    if (!file) return false;
    std::string line;
    while (headers.fields.size() < kMaxFields && ReadHeaderLine(file.get(), line)) {
        if (line.empty() || line == ".") break;
        const size_t colon = line.find(':');
        if (colon == 0 || colon == std::string::npos) continue;
        std::string name(text::trimBlanks(std::string_view(line).substr(0, colon)));
        if (name.empty() || name.find_first_of(" \t") != std::string::npos) continue;
        headers.fields.emplace_back(std::move(name), text::trimBlanks(std::string_view(line).substr(colon + 1)));
    }
    return true;
}

std::vector<std::string> MessageIds(std::string_view value) {
    std::vector<std::string> ids;
    size_t pos = 0;
    for (;;) {
        const size_t open = value.find('<', pos);
        if (open == std::string_view::npos) break;
        const size_t close = value.find('>', open + 1);
        if (close == std::string_view::npos) break;
        const std::string_view inside = value.substr(open + 1, close - open - 1);
        bool usable = !inside.empty() && inside.size() <= kMaxIdLength;
        for (const char c : inside) usable = usable && idChar(c);
        // A second '<' before the '>' starts the next candidate.
        const size_t nested = inside.rfind('<');
        if (nested != std::string_view::npos) {
            pos = open + 1 + nested;
            continue;
        }
        if (usable) ids.push_back("<" + std::string(inside) + ">");
        pos = close + 1;
    }
    return ids;
}
