// Splits a message file into its inline text (the rewritten message) and a
// folder of decoded attachment files: the part iterator finds the parts, this
// decides where each one's body goes and decodes it there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "AttachmentFiles.h"
#include "LineWriter.h"
#include "PartIterator.h"

namespace mime {

class PartSink;

class AttachmentDecoder {
public:
    // `rewrite` receives the inline text behind the header block already
    // written to it; attachment files are made through `files`.
    AttachmentDecoder(AttachmentFiles& files, LineWriter& rewrite);
    ~AttachmentDecoder();

    // Decodes every leaf part `parts` hands out. For a message that is not
    // multipart, `changed` (when given) tells whether the rewrite differs
    // from the body as it was. A folder that would hold too many files ends
    // the decoding as TooManyParts.
    PartIterator::Outcome run(PartIterator& parts, bool* changed = nullptr);

private:
    std::unique_ptr<PartSink> sinkFor(const PartFacts& facts, bool topLevel, bool* changed);
    // `reduced` is the name's last path component.
    std::unique_ptr<PartSink> fileSinkFor(const PartFacts& facts, const std::string& name, std::string_view reduced);

    AttachmentFiles& files_;
    LineWriter& rewrite_;
};

// Decodes the message file at `path` in place: its attachments go to the
// folder named like it without its 4-byte extension, and a message that ended
// with its "." line is replaced by its header block and inline text. The
// results of KOVAPOP3_DecodeAttachments: 0, -21, -23, -24, -25, -26, -28,
// -30 (nested too deeply) or -31 (too many parts); a refused message keeps no
// attachment files.
int32_t decodeAttachments(const char* path) noexcept;

}  // namespace mime
