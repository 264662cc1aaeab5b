#include "Printable.h"

#include "TextRules.h"

namespace text {

namespace {
void escape(std::string& out, unsigned char b) {
    out += "\\x";
    appendHex(out, b);
}

// The lead byte of a UTF-8 sequence and how many bytes follow it; 0 for a
// byte that starts none.
size_t continuationCount(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) return 1;
    if (b >= 0xE0 && b <= 0xEF) return 2;
    if (b >= 0xF0 && b <= 0xF4) return 3;
    return 0;
}
}  // namespace

std::string printable(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b == '\\') {
            out += "\\\\";
        } else if (b == '\r') {
            out += "\\r";
        } else if (b == '\n') {
            out += "\\n";
        } else if (b == '\t') {
            out += "\\t";
        } else if (b < 0x20 || (b >= 0x7F && b <= 0x9F)) {
            escape(out, b);
        } else if (b == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            escape(out, b);
            escape(out, static_cast<unsigned char>(s[++i]));
        } else {
            // A whole UTF-8 sequence passes as it is: its continuation bytes
            // are no raw C1 controls. A cut one leaves them to be escaped.
            size_t n = continuationCount(b);
            for (size_t k = 1; k <= n; ++k)
                if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) n = 0;
            out.append(s.substr(i, n + 1));
            i += n;
        }
    }
    return out;
}

std::string printable(std::string_view s, size_t maxBytes) {
    if (s.size() <= maxBytes) return printable(s);
    size_t cut = maxBytes;
    for (int k = 0; k < 3 && cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80; ++k) --cut;
    return printable(s.substr(0, cut)) + "...";
}

}  // namespace text
