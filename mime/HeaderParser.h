// Reads a message's header block: the main header values, the other header
// lines as text, and the multipart boundary. Optionally copies the block,
// unfolded, to an output file (the rewritten message of the decoder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // When given, the Content-Type, Content-Transfer-Encoding and
    // Content-Disposition lines are kept here instead of going to the output,
    // which gets kPlainTextContentType in their place: the decoder rewrites
    // the body as UTF-8 text.
    std::vector<std::string>* contentLines = nullptr;
};

// The line that replaces a multipart content type in the rewritten message.
inline constexpr const char* kPlainTextContentType = "Content-Type: text/plain; charset=utf-8";

// Returns 0, -21 (no input), -24 (the header block has no end: no empty line
// and no "." line before the end of the file) or -26 (output write failed).
// When `endedAtDot` is given it receives "." when the block ended at the "." line.
int32_t ParseHeader(LineReader* input, LineWriter* output, HeaderFields& fields, bool* endedAtDot = nullptr);

// The header values of the message file at `path`: 0, -21 (no path), -23
// (not readable) or a result of ParseHeader.
int32_t readMessageHeader(const char* path, HeaderFields& fields) noexcept;
// The same with the arguments of KOVAPOP3_GetMessageHeader, in its order.
int32_t readMessageHeader(const char* path, char* to, uint32_t* toSize, char* cc, uint32_t* ccSize, char* from,
                          uint32_t* fromSize, char* replyTo, uint32_t* replyToSize, char* subject,
                          uint32_t* subjectSize, char* date, uint32_t* dateSize, char* header, uint32_t* headerSize,
                          int32_t* isMultipart, char* boundary, uint32_t* boundarySize) noexcept;

// The boundary of a "Content-Type:" line of any multipart type, quoted or
// not, as written; false for any other line or an empty boundary.
bool multipartBoundary(std::string_view line, std::string& boundary);

}  // namespace mime
