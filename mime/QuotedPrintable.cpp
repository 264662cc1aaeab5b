#include "QuotedPrintable.h"

#include "text/TextRules.h"

namespace mime {

namespace {

void decodeEscapes(std::string_view line, std::string& out) {
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
}

bool isBlankOrCr(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Blanks this long are text, not transport padding, whatever follows.
constexpr std::size_t kMaxCarry = 4096;

}  // namespace

bool QuotedPrintablePieces::feed(std::string_view piece, bool lineEnded, std::string& out) {
    std::string_view data = piece;
    if (!carry_.empty()) {
        carry_.append(piece);
        data = carry_;
    }
    if (lineEnded) {
        const bool hard = decodeQuotedPrintableLine(data, out);
        carry_.clear();
        return hard;
    }
    std::size_t keep = data.size();
    while (keep > 0 && isBlankOrCr(data[keep - 1]) && data.size() - keep < kMaxCarry) --keep;
    if (keep >= 1 && data[keep - 1] == '=')
        keep -= 1;
    else if (keep >= 2 && data[keep - 2] == '=')
        keep -= 2;
    std::string rest(data.substr(keep));
    decodeEscapes(data.substr(0, keep), out);
    carry_ = std::move(rest);
    return false;
}

bool decodeQuotedPrintableLine(std::string_view line, std::string& out) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
    bool soft = false;
    if (!line.empty() && line.back() == '=') {
        soft = true;
        line.remove_suffix(1);
    }
    decodeEscapes(line, out);
    if (!soft) out += '\n';
    return !soft;
}

}  // namespace mime
