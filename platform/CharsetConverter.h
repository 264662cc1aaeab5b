// Conversion of text in a named character set to UTF-8 through iconv, in
// pieces: a multi-byte sequence cut at the end of one piece is completed by
// the next.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class CharsetConverter {
public:
    // `charset` as mail declares it ("ISO-8859-1", "Shift_JIS", "ks_c_5601-1987").
    explicit CharsetConverter(std::string_view charset);
    ~CharsetConverter();
    CharsetConverter(const CharsetConverter&) = delete;
    CharsetConverter& operator=(const CharsetConverter&) = delete;

    // False when the system knows no such character set.
    bool valid() const { return handle_ != nullptr; }

    // Appends the UTF-8 form of `in` to `out`. Bytes that are not valid in
    // the character set become U+FFFD; an incomplete sequence at the end is
    // kept for the next call, or replaced when `last` is set.
    void convert(std::string_view in, std::string& out, bool last);

private:
    void* handle_ = nullptr;
    std::string pending_;
};

}  // namespace platform
