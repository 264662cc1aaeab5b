// Encoded words in header values (RFC 2047), decoded to UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace mime {

// Replaces every "=?charset?B?...?=" and "=?charset?Q?...?=" by its text in
// UTF-8; blanks between two encoded words vanish. Malformed words stay as
// written; other 8-bit bytes are kept when valid UTF-8, else read as
// Windows-1252.
std::string decodeEncodedWords(std::string_view value);

}  // namespace mime
