// Quoted-printable decoding (RFC 2045), one encoded line at a time.
#pragma once

#include <string>
#include <string_view>

namespace mime {

// Appends the bytes of one encoded line (without its line end) to `out`,
// followed by "\n" unless the line ends in a soft break ("="). Blanks at the
// end of a line were added in transport and are dropped; an "=" not followed
// by two hex digits is kept as written. True when the "\n" was appended.
bool decodeQuotedPrintableLine(std::string_view line, std::string& out);

// The same for a line that may come in pieces: an escape or trailing blanks
// cut at a piece's end wait for the next piece.
class QuotedPrintablePieces {
public:
    // True when the line's own "\n" was appended.
    bool feed(std::string_view piece, bool lineEnded, std::string& out);

private:
    std::string carry_;
};

}  // namespace mime
