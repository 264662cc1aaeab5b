// Reads a message's header block: the main header values, the other header
// lines as text, and the multipart boundary. Optionally copies the block,
// unfolded, to an output file (the rewritten message of the decoder).
#pragma once

#include <cstdint>

#include "LineReader.h"
#include "LineWriter.h"

namespace mime {

// A caller-owned array and its in/out size. Used only when `size` is given;
// `data` may be null, then nothing is copied.
struct HeaderValue {
    char* data = nullptr;
    uint32_t* size = nullptr;
};

struct HeaderFields {
    HeaderValue to;
    HeaderValue cc;
    HeaderValue from;
    HeaderValue replyTo;
    HeaderValue subject;
    HeaderValue date;
    HeaderValue header;    // every other line, joined by LF
    HeaderValue boundary;  // asked for: the multipart line is replaced in the output
    int32_t* isMultipart = nullptr;
};

// The line that replaces a multipart content type in the rewritten message.
inline constexpr const char* kPlainTextContentType = "Content-Type: text/plain; charset=us-ascii";

// Returns 0, -21 (no input), -24 (the header block has no end: no empty line
// and no "." line before the end of the file) or -26 (output write failed).
// When `endedAtDot` is given it receives "." when the block ended at the "." line.
int32_t ParseHeader(LineReader* input, LineWriter* output, HeaderFields& fields, bool* endedAtDot = nullptr);

// Finds BOUNDARY=" in a content type value (case-insensitive) and returns the
// quoted text as written; false when there is none or its quote is not closed.
bool findQuotedBoundary(std::string_view line, std::size_t from, std::string& boundary);

}  // namespace mime
