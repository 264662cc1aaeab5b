#include "ProfileFile.h"

#include <vector>

#include "Directory.h"
#include "text/TextRules.h"

namespace platform {

namespace {

std::vector<std::string_view> splitLines(std::string_view content) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        if (nl == std::string_view::npos) nl = content.size();
        std::string_view line = content.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        pos = nl + 1;
    }
    return lines;
}

// Section header name, or false when the line is none.
bool sectionName(std::string_view line, std::string_view& name) {
    line = text::trimBlanks(line);
    if (line.size() < 2 || line.front() != '[') return false;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = text::trimBlanks(line.substr(1, close - 1));
    return true;
}

bool keyValue(std::string_view line, std::string_view& key, std::string_view& value) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = text::trimBlanks(line.substr(0, eq));
    value = text::trimBlanks(line.substr(eq + 1));
    return true;
}

}  // namespace

bool findProfileValue(std::string_view content, std::string_view section, std::string_view key, std::string& value) {
    bool inSection = false;
    for (std::string_view line : splitLines(content)) {
        std::string_view name;
        if (sectionName(line, name)) {
            if (inSection) break;  // the first matching section wins
            inSection = text::equalsIgnoreCase(name, section);
            continue;
        }
        if (!inSection) continue;
        std::string_view k, v;
        if (!keyValue(line, k, v) || !text::equalsIgnoreCase(k, key)) continue;
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        value = std::string(v);
        return true;
    }
    return false;
}

std::string getPrivateProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                    size_t bufferSize, const std::string& path) {
    if (bufferSize == 0) return std::string();
    std::string content;
    std::string value(defaultValue);
    // Settings live where their list's administrators write: a link in the
    // file's place reads as no file, never as another file's values.
    if (readRegularFile(path, content)) findProfileValue(content, section, key, value);
    if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
    return value;
}

std::string setProfileString(std::string_view content, std::string_view section, std::string_view key,
                             std::string_view value) {
    const auto lines = splitLines(content);
    const std::string newLine = std::string(key) + "=" + std::string(value);

    std::vector<std::string> out;
    out.reserve(lines.size() + 2);
    bool inSection = false, sectionSeen = false, done = false;
    size_t lastInSection = 0;  // index in `out` after which a new key goes
    for (std::string_view line : lines) {
        std::string_view name;
        if (!done && sectionName(line, name)) {
            if (inSection) {
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(lastInSection), newLine);
                done = true;
                inSection = false;
            } else if (!sectionSeen && text::equalsIgnoreCase(name, section)) {
                inSection = sectionSeen = true;
                out.emplace_back(line);
                lastInSection = out.size();
                continue;
            }
        } else if (!done && inSection) {
            std::string_view k, v;
            if (keyValue(line, k, v) && text::equalsIgnoreCase(k, key)) {
                out.push_back(newLine);
                done = true;
                inSection = false;
                continue;
            }
            if (!text::trimBlanks(line).empty()) lastInSection = out.size() + 1;
        }
        out.emplace_back(line);
    }
    if (!done) {
        if (inSection) {
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(lastInSection), newLine);
        } else {
            out.push_back("[" + std::string(section) + "]");
            out.push_back(newLine);
        }
    }
    std::string result;
    for (const auto& l : out) {
        result += l;
        result += "\r\n";
    }
    return result;
}

bool writePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path) {
    std::string content;
    readRegularFile(path, content);  // a missing file (or a link in its place) starts empty
    // Settings files hold passwords: a new one is for its owner only.
    return writeFileAtomically(path, setProfileString(content, section, key, value), 0600);
}

}  // namespace platform
