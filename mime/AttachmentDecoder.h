// Splits a multipart message file into its inline text (the rewritten
// message) and a folder of decoded attachment files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LineReader.h"
#include "LineWriter.h"

namespace mime {

// What a part's header lines say about it.
struct PartFacts {
    enum class Encoding { None, Base64, QuotedPrintable, Uuencode };
    std::string type;      // lower case; "" without a Content-Type line
    std::string charset;
    std::string boundary;  // of a multipart type
    Encoding encoding = Encoding::None;
    bool attachment = false;  // the disposition says "attachment"
    std::string typeName;         // the type's name parameter
    std::string dispositionName;  // the disposition's filename parameter

    void take(const std::string& line);
    bool isText() const { return type.empty() || type == "text/plain"; }
    bool isHtml() const { return type == "text/html"; }
    // The name in UTF-8, the disposition's first; "" when there is none.
    std::string name() const;
};

// The extension of a generated name for a part of this type.
std::string_view generatedExtension(std::string_view type);

// How the reading of a part (or of a part list) stopped.
struct PartStop {
    enum class Kind {
        Delimiter,  // a delimiter line of an enclosing level; `line` holds it
        EndLine,    // the "." line that ends the message
        EndOfFile,
        Continue,   // nothing taken: the caller reads on and drops lines
        Closed,     // the closing delimiter of the current part list
    };
    Kind kind = Kind::Continue;
    std::string line;
};

class AttachmentDecoder {
public:
    // `rewrite` receives the inline text behind the header block already
    // written to it; attachments go to the attachment folder of `messagePath`.
    AttachmentDecoder(const std::string& messagePath, LineReader& input, LineWriter& rewrite,
                      const std::string& boundary);

    // Decodes every part of the message body. True when the message ended
    // with its "." line, i.e. the rewrite holds the whole message.
    bool run();
    // A message that is not multipart: its body is the one part `facts`
    // describe. `changed`, when given, tells whether the rewrite differs
    // from the body as it was.
    bool runSinglePart(const PartFacts& facts, bool* changed = nullptr);

    // Parts nested deeper than kMaxDepth were met (and not decoded).
    bool tooDeep() const { return tooDeep_; }

    // One part, from behind its delimiter line; `level` is the nesting depth
    // of the part list it belongs to.
    PartStop DecodePart(std::size_t level);

    // Nested multipart parts are followed this deep; a deeper one makes the
    // whole message undecodable.
    static constexpr std::size_t kMaxDepth = 8;

private:
    PartStop partLoop(std::size_t level);
    // Hands the body to `sink(piece, lineStart, lineEnded)` line by line, a
    // long line in pieces. With `bulk`, runs of lines that cannot be a
    // delimiter, the end line or dot-stuffed come as one piece, line ends
    // included.
    template <typename Sink>
    PartStop readBody(Sink&& sink, bool bulk = false);
    PartStop drainBody();
    // The start of the next line (all of any line shorter than the read
    // buffer); the rest of a longer line is passed over.
    bool readLineStart(std::string& line);
    // The index of the delimiter the line begins with (the longest one when
    // one boundary begins with another), or -1.
    int matchDelimiter(std::string_view line) const;

    PartStop decodeBody(const PartFacts& facts, std::size_t level, bool* changed, bool topLevel);
    PartStop decodeToFile(const PartFacts& facts, const std::string& name);
    PartStop decodeUuencoded(const std::string& shown);
    PartStop decodeInlineText(const PartFacts& facts, bool* changed);
    void report(bool decoded, const std::string& name);

    std::string folder_;
    LineReader& in_;
    LineWriter& rewrite_;
    std::vector<std::string> delimiters_;
    bool tooDeep_ = false;
    std::string bytes_;  // decoded bytes on their way to a file
};

// Decodes the message file at `path` in place: its attachments go to the
// folder named like it without its 4-byte extension, and a message that ended
// with its "." line is replaced by its header block and inline text. The
// results of KOVAPOP3_DecodeAttachments.
int32_t decodeAttachments(const char* path) noexcept;

}  // namespace mime
