#include "AddressRules.h"

#include "list/MemberFile.h"
#include "text/TextRules.h"

namespace {
void dropThroughLast(std::string& s, char c) {
    const size_t pos = s.rfind(c);
    if (pos != std::string::npos) s.erase(0, pos + 1);
}

bool hasControlByte(std::string_view s) {
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

bool startsWithMarker(std::string_view s) { return s.substr(0, 3) == list::kAdministratorMarker; }
}  // namespace

std::string ExtractAddress(std::string_view text) {
    std::string s(text);
    dropThroughLast(s, '"');
    dropThroughLast(s, '<');
    const size_t close = s.find('>');
    if (close != std::string::npos) s.erase(close);
    return text::trim(s);
}

bool IsValidAddress(const MailList&, std::string_view address) {
    if (hasControlByte(address) || startsWithMarker(text::trimLeft(address))) return false;
    const std::string s = text::toUpper(ExtractAddress(address));
    if (startsWithMarker(s)) return false;
    const size_t at = s.find('@');
    if (at == std::string::npos || s.find('@', at + 1) != std::string::npos) return false;
    const size_t dot = s.rfind('.');
    if (dot == std::string::npos || dot < at + 2) return false;
    return s.size() - dot - 1 >= 2;
}
