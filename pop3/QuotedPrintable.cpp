#include "QuotedPrintable.h"

#include "transport/TextRules.h"

namespace mime {

void decodeQuotedPrintableLine(std::string_view line, std::string& out) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
    bool soft = false;
    if (!line.empty() && line.back() == '=') {
        soft = true;
        line.remove_suffix(1);
    }
    out.reserve(out.size() + line.size() + 1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '=' && i + 2 < line.size()) {
            const int hi = text::hexDigitValue(line[i + 1]);
            const int lo = text::hexDigitValue(line[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += c;
    }
    if (!soft) out += '\n';
}

}  // namespace mime
