#include "TextToUtf8.h"

#include <cstdint>

#include "text/TextRules.h"
#include "text/Windows1252.h"

namespace mime {

namespace {

void appendCodePoint(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendWindows1252(std::string& out, unsigned char b) { appendCodePoint(out, text::windows1252ToUnicode(b)); }

// Length of the valid UTF-8 sequence at `s` (1..4), 0 when it is invalid, or
// -1 when it is valid so far but `s` ends inside it.
int sequenceLength(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) return 1;
    int n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (int i = 1; i < n; ++i) {
        if (static_cast<std::size_t>(i) >= s.size()) return -1;
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF)) return 0;
    }
    return n;
}

bool usesFallback(const std::string& upper) {
    return upper.empty() || upper == "UTF-8" || upper == "UTF8" || upper == "US-ASCII" || upper == "ASCII" ||
           upper == "DEFAULT" || upper == "X-UNKNOWN" || upper == "UNKNOWN-8BIT";
}

}  // namespace

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

void appendUtf8OrWindows1252(std::string_view in, std::string& out, std::string& pending, bool last) {
    std::string joined;
    if (!pending.empty()) {
        joined = std::move(pending);
        joined.append(in);
        in = joined;
        pending.clear();
    }
    std::size_t i = 0;
    while (i < in.size()) {
        // Runs of ASCII are copied whole: most text is mostly ASCII.
        std::size_t run = i;
        while (run < in.size() && static_cast<unsigned char>(in[run]) < 0x80) ++run;
        out.append(in.data() + i, run - i);
        i = run;
        if (i >= in.size()) break;
        const int n = sequenceLength(in.substr(i));
        if (n > 0) {
            out.append(in.data() + i, static_cast<std::size_t>(n));
            i += static_cast<std::size_t>(n);
        } else if (n < 0 && !last) {
            pending.assign(in.substr(i));
            return;
        } else {
            appendWindows1252(out, static_cast<unsigned char>(in[i]));
            ++i;
        }
    }
}

TextToUtf8::TextToUtf8(std::string_view charset) {
    const std::string upper = text::toUpper(text::trim(charset));
    if (usesFallback(upper)) return;
    auto converter = std::make_unique<platform::CharsetConverter>(upper);
    if (converter->valid()) iconv_ = std::move(converter);
}

void TextToUtf8::convert(std::string_view in, std::string& out, bool last) {
    if (iconv_)
        iconv_->convert(in, out, last);
    else
        appendUtf8OrWindows1252(in, out, pending_, last);
}

}  // namespace mime
