#include "HtmlRemover.h"

#include "text/TextRules.h"

namespace {

constexpr std::string_view kOpenTag = "<HTML>";
constexpr std::string_view kCloseTag = "</HTML>";

// `tag` is upper case; only ASCII letters are compared without case.
size_t findTag(std::string_view haystack, std::string_view tag) {
    if (haystack.size() < tag.size()) return std::string_view::npos;
    for (size_t i = 0; i + tag.size() <= haystack.size(); ++i) {
        size_t k = 0;
        while (k < tag.size() && text::upperAscii(haystack[i + k]) == tag[k]) ++k;
        if (k == tag.size()) return i;
    }
    return std::string_view::npos;
}

}  // namespace

std::string HtmlRemover::take(std::string_view piece, bool endsLine) {
    std::string out;
    std::string_view rest = piece;
    for (;;) {
        if (!inHtml_) {
            const size_t open = findTag(rest, kOpenTag);
            const std::string_view before = rest.substr(0, open);
            if (!before.empty()) {
                // The server stuffed only real line starts; a '.' that now
                // begins a line must not be taken for the end of the message.
                if (freshLine_ && before.front() == '.') out += '.';
                out += before;
                midLine_ = true;
                freshLine_ = false;
            }
            if (open == std::string_view::npos) {
                if (endsLine) {
                    out += text::kLineEnd;
                    midLine_ = false;
                    freshLine_ = false;
                }
                return out;
            }
            if (midLine_) out += text::kLineEnd;
            out += kHtmlMarkerLine;
            out += text::kLineEnd;
            midLine_ = false;
            inHtml_ = true;
            rest.remove_prefix(open + kOpenTag.size());
        }
        // A document closed on the line that opened it ends there: the text
        // after it is the sender's and must not be swallowed.
        const size_t close = findTag(rest, kCloseTag);
        if (close == std::string_view::npos) {
            if (endsLine) freshLine_ = false;
            return out;
        }
        inHtml_ = false;
        freshLine_ = true;
        rest.remove_prefix(close + kCloseTag.size());
        if (rest.empty()) {
            if (endsLine) freshLine_ = false;
            return out;
        }
    }
}
