#include "EncodedWords.h"

#include <algorithm>
#include <map>
#include <memory>

#include "Base64Decoder.h"
#include "TextToUtf8.h"
#include "text/TextRules.h"

namespace mime {

namespace {

bool isBase64Text(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=' || c == '\r' || c == '\n';
}

bool decodeB(std::string_view text, std::string& bytes) {
    // Checked before any work in proportion to the text: a word that is no
    // base64 may hold the starts of many more words, each tried in turn.
    if (!std::all_of(text.begin(), text.end(), isBase64Text)) return false;
    Base64Decoder d;
    bytes.resize(Base64Decoder::maxOutput(text.size()) + 2);
    std::size_t n = 0;
    d.feed(text.data(), text.size(), reinterpret_cast<unsigned char*>(bytes.data()), n);
    n += d.finish(reinterpret_cast<unsigned char*>(bytes.data()) + n);
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

// The next place at or after a position where a search succeeds, for
// positions that never go back: a hit ahead of the position is kept, and a
// search that found nothing is never repeated, so every byte is searched
// about once however many words begin in the text.
class ForwardSearch {
public:
    using Search = std::size_t (*)(std::string_view text, std::size_t from);
    ForwardSearch(std::string_view text, Search search) : text_(text), search_(search) {}

    std::size_t from(std::size_t pos) {
        if (searched_ && (hit_ == std::string_view::npos || hit_ >= pos)) return hit_;
        searched_ = true;
        hit_ = search_(text_, pos);
        return hit_;
    }

private:
    std::string_view text_;
    Search search_;
    bool searched_ = false;
    std::size_t hit_ = std::string_view::npos;
};

// Reading the words of one value.
class WordReader {
public:
    explicit WordReader(std::string_view value)
        : s_(value),
          question_(value, [](std::string_view t, std::size_t p) { return t.find('?', p); }),
          end_(value,
               [](std::string_view t, std::size_t p) {
                   for (; p + 1 < t.size(); ++p)
                       if (t[p] == '?' && t[p + 1] == '=') return p;
                   return std::string_view::npos;
               }),
          blank_(value, [](std::string_view t, std::size_t p) { return t.find_first_of(" \t", p); }) {}

    // Decodes the encoded word at `at`; `length` receives its size. The
    // positions asked for only grow, as the caller reads the value forwards.
    bool decode(std::size_t at, std::string& out, std::size_t& length) {
        if (at + 1 >= s_.size() || s_[at] != '=' || s_[at + 1] != '?') return false;
        const std::size_t q1 = question_.from(at + 2);
        if (q1 == std::string_view::npos || q1 + 2 >= s_.size() || s_[q1 + 2] != '?') return false;
        const std::size_t end = end_.from(q1 + 3);
        if (end == std::string_view::npos) return false;
        // A word holds no blank.
        const std::size_t blank = blank_.from(q1 + 3);
        if (blank < end) return false;
        std::string_view charset = s_.substr(at + 2, q1 - at - 2);
        charset = charset.substr(0, charset.find('*'));  // a language tag
        const char encoding = text::upperAscii(s_[q1 + 1]);
        const std::string_view payload = s_.substr(q1 + 3, end - q1 - 3);
        std::string bytes;
        if (encoding == 'B') {
            if (!decodeB(payload, bytes)) return false;
        } else if (encoding == 'Q') {
            decodeQ(payload, bytes);
        } else {
            return false;
        }
        converter(charset).convert(bytes, out, true);
        length = end + 2 - at;
        return true;
    }

private:
    // One converter per character set: opening one costs more than most words.
    TextToUtf8& converter(std::string_view charset) {
        auto it = converters_.find(charset);
        if (it != converters_.end()) return *it->second;
        auto made = std::make_unique<TextToUtf8>(charset);
        if (converters_.size() >= kMaxConverters) {
            spare_ = std::move(made);
            return *spare_;
        }
        return *converters_.emplace(std::string(charset), std::move(made)).first->second;
    }
    static constexpr std::size_t kMaxConverters = 16;

    std::string_view s_;
    ForwardSearch question_;
    ForwardSearch end_;
    ForwardSearch blank_;
    std::map<std::string, std::unique_ptr<TextToUtf8>, std::less<>> converters_;
    std::unique_ptr<TextToUtf8> spare_;
};

}  // namespace

std::string decodeEncodedWords(std::string_view value) {
    constexpr std::size_t kRawPiece = 64 * 1024;
    std::string out;
    out.reserve(value.size());
    std::string raw;  // bytes outside encoded words, converted in runs
    std::string pending;
    bool lastWasWord = false;
    WordReader words(value);
    auto flushRaw = [&] {
        appendUtf8OrWindows1252(raw, out, pending, true);
        raw.clear();
    };
    std::string word;
    std::size_t i = 0;
    while (i < value.size()) {
        if (value[i] == '=') {
            std::size_t length = 0;
            word.clear();
            if (words.decode(i, word, length)) {
                // Blanks between two encoded words belong to neither.
                if (lastWasWord && text::trimBlanks(raw).empty()) raw.clear();
                flushRaw();
                out += word;
                i += length;
                lastWasWord = true;
                continue;
            }
        }
        // Text up to the next "=?" that may begin a word, taken whole.
        std::size_t end = i + 1;
        while (end < value.size() && !(value[end] == '=' && end + 1 < value.size() && value[end + 1] == '?')) ++end;
        const std::string_view run = value.substr(i, end - i);
        raw.append(run);
        if (!text::trimBlanks(run).empty()) lastWasWord = false;
        // Long text goes on in pieces; a character cut at the end waits in `pending`.
        if (!lastWasWord && raw.size() >= kRawPiece) {
            appendUtf8OrWindows1252(raw, out, pending, false);
            raw.clear();
        }
        i = end;
    }
    flushRaw();
    return out;
}

}  // namespace mime
