#include "EncodedWords.h"

#include "Base64Decoder.h"
#include "TextToUtf8.h"
#include "text/TextRules.h"

namespace mime {

namespace {

bool decodeB(std::string_view text, std::string& bytes) {
    Base64Decoder d;
    bytes.resize(Base64Decoder::maxOutput(text.size()));
    std::size_t n = 0;
    d.feed(text.data(), text.size(), reinterpret_cast<unsigned char*>(bytes.data()), n);
    bytes.resize(n);
    return d.status() != Base64Decoder::Status::Invalid;
}

void decodeQ(std::string_view text, std::string& bytes) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            bytes += ' ';
        } else if (c == '=' && i + 2 < text.size() && text::hexDigitValue(text[i + 1]) >= 0 &&
                   text::hexDigitValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(text::hexDigitValue(text[i + 1]) * 16 + text::hexDigitValue(text[i + 2]));
            i += 2;
        } else {
            bytes += c;
        }
    }
}

// Decodes the encoded word at the start of `s`; `length` receives its size.
bool decodeWord(std::string_view s, std::string& out, std::size_t& length) {
    if (!s.starts_with("=?")) return false;
    const std::size_t q1 = s.find('?', 2);
    if (q1 == std::string_view::npos || q1 + 2 >= s.size() || s[q1 + 2] != '?') return false;
    const std::size_t end = s.find("?=", q1 + 3);
    if (end == std::string_view::npos) return false;
    std::string_view charset = s.substr(2, q1 - 2);
    charset = charset.substr(0, charset.find('*'));  // a language tag
    const char encoding = text::upperAscii(s[q1 + 1]);
    const std::string_view payload = s.substr(q1 + 3, end - q1 - 3);
    if (payload.find_first_of(" \t") != std::string_view::npos) return false;
    std::string bytes;
    if (encoding == 'B') {
        if (!decodeB(payload, bytes)) return false;
    } else if (encoding == 'Q') {
        decodeQ(payload, bytes);
    } else {
        return false;
    }
    TextToUtf8(charset).convert(bytes, out, true);
    length = end + 2;
    return true;
}

}  // namespace

std::string decodeEncodedWords(std::string_view value) {
    std::string out;
    std::string raw;  // bytes outside encoded words, converted in runs
    std::string pending;
    bool lastWasWord = false;
    std::size_t i = 0;
    auto flushRaw = [&] {
        appendUtf8OrWindows1252(raw, out, pending, true);
        raw.clear();
    };
    while (i < value.size()) {
        std::size_t length = 0;
        std::string word;
        if (value[i] == '=' && decodeWord(value.substr(i), word, length)) {
            // Blanks between two encoded words belong to neither.
            if (lastWasWord && raw.find_first_not_of(" \t") == std::string::npos) raw.clear();
            flushRaw();
            out += word;
            i += length;
            lastWasWord = true;
            continue;
        }
        raw += value[i++];
        if (raw.back() != ' ' && raw.back() != '\t') {
            if (lastWasWord) flushRaw();
            lastWasWord = false;
        }
    }
    flushRaw();
    return out;
}

}  // namespace mime
