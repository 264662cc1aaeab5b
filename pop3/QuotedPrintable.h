// Quoted-printable decoding (RFC 2045), one encoded line at a time.
#pragma once

#include <string>
#include <string_view>

namespace mime {

// Appends the bytes of one encoded line (without its line end) to `out`,
// followed by "\n" unless the line ends in a soft break ("="). Blanks at the
// end of a line were added in transport and are dropped; an "=" not followed
// by two hex digits is kept as written.
void decodeQuotedPrintableLine(std::string_view line, std::string& out);

}  // namespace mime
