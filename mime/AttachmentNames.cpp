#include "AttachmentNames.h"

#include "text/TextRules.h"

namespace mime {

std::string reduceName(std::string_view name) {
    for (char sep : {':', '\\', '/'}) {
        const std::size_t p = name.rfind(sep);
        if (p != std::string_view::npos) name.remove_prefix(p + 1);
    }
    std::string reduced = text::trim(name);
    if (reduced == "." || reduced == "..") reduced.clear();
    return reduced;
}

std::string sanitizeName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = '_';
            continue;
        }
        switch (c) {
            case '\\': case '/': case ':': case '*': case '?':
            case '"': case '<': case '>': case '|':
                c = '_';
                break;
            default:
                break;
        }
    }
    return out;
}

std::optional<std::string> attachmentFileName(std::string_view name) {
    std::string n = sanitizeName(reduceName(name));
    if (n.empty() || n.size() > kMaxNameLength || text::equalsIgnoreCase(n, kWorkFileName)) return std::nullopt;
    return n;
}

std::string folderOf(const std::string& path) {
    const std::size_t p = path.rfind('/');
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string attachmentFolderOf(const std::string& path) {
    return path.size() > 4 ? path.substr(0, path.size() - 4) : std::string();
}

std::string rewriteFileOf(const std::string& path) { return folderOf(path) + std::string(kWorkFileName); }

}  // namespace mime
