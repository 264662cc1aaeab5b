#include "SpoolFileName.h"

#include "text/TextRules.h"

namespace {
bool needsEscape(unsigned char c, bool first) {
    if (c < 0x20 || c > 0x7E) return true;
    if (c == '/' || c == '\\' || c == ':' || c == '%') return true;
    return first && c == '.';
}
}  // namespace

std::string SpoolNameForId(std::string_view uniqueId) {
    // '%' alone can never come out of an encoding (an escaped byte always
    // carries two hex digits), so it is free to stand for the empty id.
    if (uniqueId.empty()) return "%";
    std::string name;
    name.reserve(uniqueId.size());
    for (size_t i = 0; i < uniqueId.size(); ++i) {
        const auto c = static_cast<unsigned char>(uniqueId[i]);
        if (needsEscape(c, i == 0)) {
            name += '%';
            text::appendHex(name, c);
        } else {
            name += static_cast<char>(c);
        }
    }
    return name;
}
