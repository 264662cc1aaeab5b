// Splits a multipart message file into its inline text (the rewritten
// message) and a folder of decoded attachment files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LineReader.h"
#include "LineWriter.h"

namespace mime {

struct PartFacts;

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

    // One part, from behind its delimiter line; `level` is the nesting depth
    // of the part list it belongs to.
    PartStop DecodePart(std::size_t level);

    // Nested multipart parts are followed this deep; deeper ones are dropped.
    static constexpr std::size_t kMaxDepth = 8;

private:
    PartStop partLoop(std::size_t level);
    template <typename Sink>
    PartStop readBody(Sink&& sink);
    // The index of the delimiter the line begins with (the longest one when
    // one boundary begins with another), or -1.
    int matchDelimiter(const std::string& line) const;

    PartStop decodeToFile(PartFacts& facts);
    PartStop decodeInlineBase64Text();
    void report(bool decoded, const std::string& name);

    std::string folder_;
    LineReader& in_;
    LineWriter& rewrite_;
    std::vector<std::string> delimiters_;
};

}  // namespace mime
