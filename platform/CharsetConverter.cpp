#include "CharsetConverter.h"

#include <iconv.h>

#include <cerrno>
#include <utility>

#include "text/TextRules.h"

namespace platform {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Names mail programs use that iconv knows under another name.
constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
    {"KS_C_5601-1987", "CP949"}, {"KS_C_5601", "CP949"},  {"KSC5601", "CP949"},
    {"X-SJIS", "SHIFT_JIS"},     {"SJIS", "SHIFT_JIS"},   {"SHIFT-JIS", "SHIFT_JIS"},
    {"X-EUC-JP", "EUC-JP"},      {"GB2312", "GB18030"},  // senders label GBK text as GB2312
    {"UNICODE-1-1-UTF-7", "UTF-7"},
};

std::string systemName(std::string_view charset) {
    std::string name = text::toUpper(text::trim(charset));
    for (const auto& [alias, known] : kAliases)
        if (name == alias) name.assign(known);
    return name;
}

iconv_t handleOf(void* h) { return static_cast<iconv_t>(h); }

}  // namespace

CharsetConverter::CharsetConverter(std::string_view charset) {
    const std::string name = systemName(charset);
    if (name.empty()) return;
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd != reinterpret_cast<iconv_t>(-1)) handle_ = cd;
}

CharsetConverter::~CharsetConverter() {
    if (handle_) iconv_close(handleOf(handle_));
}

void CharsetConverter::convert(std::string_view in, std::string& out, bool last) {
    if (!handle_) return;
    std::string input = std::move(pending_);
    pending_.clear();
    input.append(in);
    char* src = input.data();
    size_t srcLeft = input.size();
    char buffer[4096];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(handleOf(handle_), &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, sizeof buffer - dstLeft);
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (errno == EINVAL && !last) {
            pending_.assign(src, srcLeft);
            return;
        }
        // An invalid or truncated sequence: one byte is replaced, the rest goes on.
        out += kReplacement;
        ++src;
        --srcLeft;
    }
    if (last) {
        // Stateful sets (ISO-2022-JP) return to their initial state.
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(handleOf(handle_), nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, sizeof buffer - dstLeft);
    }
}

}  // namespace platform
