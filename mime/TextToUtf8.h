// Text of a mail part in its declared character set, turned into UTF-8 in
// pieces. Without a character set the system knows (none, us-ascii, an
// unknown name, or utf-8 itself) valid UTF-8 is kept and every byte that is
// not is read as Windows-1252, the set such mail almost always is.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/CharsetConverter.h"

namespace mime {

class TextToUtf8 {
public:
    explicit TextToUtf8(std::string_view charset);

    // Appends the UTF-8 form of `in`; a sequence cut at the end of a piece
    // waits for the next one unless `last` is set.
    void convert(std::string_view in, std::string& out, bool last);

private:
    std::unique_ptr<platform::CharsetConverter> iconv_;
    std::string pending_;
};

// Appends `in` with valid UTF-8 kept and any other byte read as Windows-1252.
// The bytes of an incomplete sequence at the end are left in `pending` when
// `last` is false.
void appendUtf8OrWindows1252(std::string_view in, std::string& out, std::string& pending, bool last);

bool isAscii(std::string_view s);

}  // namespace mime
