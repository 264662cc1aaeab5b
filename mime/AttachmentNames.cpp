#include "AttachmentNames.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "text/TextRules.h"

namespace mime {

std::string_view reducedName(std::string_view name) {
    std::size_t cut = 0;
    for (const char sep : {':', '\\', '/'}) {
        const void* at = memrchr(name.data(), sep, name.size());
        if (at) cut = std::max<std::size_t>(cut, static_cast<const char*>(at) - name.data() + 1);
    }
    name.remove_prefix(cut);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name == "." || name == "..") return {};
    return name;
}

namespace {

constexpr std::array<bool, 256> makeRefused() {
    std::array<bool, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = true;
    t[0x7F] = true;
    for (const unsigned char c : {'\\', '/', ':', '*', '?', '"', '<', '>', '|'}) t[c] = true;
    return t;
}
constexpr std::array<bool, 256> kRefused = makeRefused();

}  // namespace

std::string sanitizeName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (kRefused[static_cast<unsigned char>(c)]) c = '_';
    return out;
}

std::optional<std::string> attachmentFileName(std::string_view name) {
    std::string n(reducedName(name));
    // Sanitizing keeps the length: a name too long is refused before it.
    if (n.empty() || n.size() > kMaxNameLength) return std::nullopt;
    n = sanitizeName(n);
    if (text::equalsIgnoreCase(n, kWorkFileName)) return std::nullopt;
    return n;
}

std::string attachmentFolderOf(const std::string& path) {
    return path.size() > 4 ? path.substr(0, path.size() - 4) : std::string();
}

}  // namespace mime
