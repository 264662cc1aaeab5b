#include "AttachmentDecoder.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "AttachmentNames.h"
#include "Base64Decoder.h"
#include "EncodedWords.h"
#include "HeaderParser.h"
#include "MimeParameters.h"
#include "QuotedPrintable.h"
#include "TextToUtf8.h"
#include "UuDecoder.h"
#include "platform/FileSystem.h"
#include "platform/StdioFile.h"
#include "transport/ResultCodes.h"
#include "text/TextRules.h"

namespace mime {

namespace {

constexpr std::string_view kContentType = "CONTENT-TYPE:";
constexpr std::string_view kTransferEncoding = "CONTENT-TRANSFER-ENCODING:";
constexpr std::string_view kDisposition = "CONTENT-DISPOSITION:";

// Lines from the spool lose the dot-stuffing of the mail transfer when they
// leave it: the spool keeps it, a decoded file or text must not.
std::string_view unstuffed(std::string_view line) {
    if (line.size() >= 2 && line[0] == '.' && line[1] == '.') line.remove_prefix(1);
    return line;
}

// "name.ext", "name (2).ext", "name (3).ext"...: a second part of the same
// name never replaces the first.
std::string freeTarget(const std::string& folder, const std::string& name) {
    std::string target = platform::joinPath(folder, name);
    if (!platform::pathExists(target)) return target;
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    for (int n = 2; n < 10000; ++n) {
        target = platform::joinPath(folder, stem + " (" + std::to_string(n) + ")" + ext);
        if (!platform::pathExists(target)) return target;
    }
    return {};
}

// Writes decoded text as lines of the rewritten message: CR LF ends,
// dot-stuffed like the rest of the spool so a "." line never ends it early.
class TextLines {
public:
    explicit TextLines(LineWriter& out) : out_(out) {}

    bool add(std::string_view utf8) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t nl = utf8.find('\n', start);
            if (nl == std::string_view::npos) break;
            pending_.append(utf8.substr(start, nl - start));
            flush();
            start = nl + 1;
        }
        pending_.append(utf8.substr(start));
        if (pending_.size() >= kMaxLine) flush();
        return ok_;
    }
    bool finish() {
        if (!pending_.empty()) flush();
        return ok_;
    }

private:
    static constexpr std::size_t kMaxLine = 1024 * 1024;
    void flush() {
        std::string_view l(pending_);
        while (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (!l.empty() && l.front() == '.') ok_ = out_.write(".", 1) && ok_;
        ok_ = out_.writeLine(l) && ok_;
        pending_.clear();
    }
    LineWriter& out_;
    std::string pending_;
    bool ok_ = true;
};

}  // namespace

namespace {

template <typename Bytes>
void decodeBase64Into(Base64Decoder& decoder, std::string_view text, Bytes& out) {
    out.resize(Base64Decoder::maxOutput(text.size()));
    std::size_t n = 0;
    decoder.feed(text.data(), text.size(), reinterpret_cast<unsigned char*>(out.data()), n);
    out.resize(n);
}

}  // namespace

std::string_view generatedExtension(std::string_view type) {
    static constexpr std::pair<std::string_view, std::string_view> kKnown[] = {
        {"text/html", ".HTM"},         {"text/plain", ".TXT"},        {"", ".TXT"},
        {"message/rfc822", ".EML"},    {"image/jpeg", ".JPG"},        {"image/jpg", ".JPG"},
        {"image/png", ".PNG"},         {"image/gif", ".GIF"},         {"image/heic", ".HEIC"},
        {"application/pdf", ".PDF"},   {"application/zip", ".ZIP"},   {"application/x-gzip", ".GZ"},
        {"application/gzip", ".GZ"},   {"text/calendar", ".ICS"},     {"text/x-vcard", ".VCF"},
        {"text/vcard", ".VCF"},
    };
    for (const auto& [t, ext] : kKnown)
        if (type == t) return ext;
    return ".BIN";
}

std::string PartFacts::name() const {
    return decodeEncodedWords(dispositionName.empty() ? typeName : dispositionName);
}

void PartFacts::take(const std::string& line) {
    const std::string_view l(line);
    if (text::startsWithIgnoreCase(l, kContentType)) {
        const ContentField f = parseContentField(l.substr(kContentType.size()));
        type = f.value;
        charset = f.param("charset");
        boundary = type.starts_with("multipart/") ? f.param("boundary") : std::string();
        typeName = f.param("name");
    } else if (text::startsWithIgnoreCase(l, kTransferEncoding)) {
        const std::string v = parseContentField(l.substr(kTransferEncoding.size())).value;
        if (v.find("base64") != std::string::npos)
            encoding = Encoding::Base64;
        else if (v.find("quoted-printable") != std::string::npos)
            encoding = Encoding::QuotedPrintable;
        else if (v.find("uue") != std::string::npos)
            encoding = Encoding::Uuencode;
    } else if (text::startsWithIgnoreCase(l, kDisposition)) {
        const ContentField f = parseContentField(l.substr(kDisposition.size()));
        attachment = f.value == "attachment";
        dispositionName = f.param("filename");
    }
}

AttachmentDecoder::AttachmentDecoder(const std::string& messagePath, LineReader& input, LineWriter& rewrite,
                                     const std::string& boundary)
    : folder_(attachmentFolderOf(messagePath)), in_(input), rewrite_(rewrite) {
    if (!boundary.empty()) delimiters_.push_back("--" + boundary);
}

int AttachmentDecoder::matchDelimiter(std::string_view line) const {
    if (line.size() < 2 || line[0] != '-' || line[1] != '-') return -1;
    int best = -1;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < delimiters_.size(); ++i) {
        const std::string& d = delimiters_[i];
        if (line.starts_with(d) && d.size() >= bestLength) {
            best = static_cast<int>(i);
            bestLength = d.size();
        }
    }
    return best;
}

bool AttachmentDecoder::run() {
    PartStop s;
    do {
        s = partLoop(0);
    } while (s.kind == PartStop::Kind::Closed);
    return s.kind == PartStop::Kind::EndLine;
}

bool AttachmentDecoder::readLineStart(std::string& line) {
    std::string_view piece;
    bool ended = false;
    if (!in_.readPiece(piece, ended)) return false;
    line.assign(piece);
    while (!ended && in_.readPiece(piece, ended)) {
    }
    return true;
}

bool AttachmentDecoder::runSinglePart(const PartFacts& facts, bool* changed) {
    PartStop s = decodeBody(facts, 0, changed, true);
    // Whatever a part left unread up to the end line is not part of any text.
    std::string line;
    while (s.kind == PartStop::Kind::Continue && readLineStart(line))
        if (line == ".") return true;
    return s.kind == PartStop::Kind::EndLine;
}

PartStop AttachmentDecoder::partLoop(std::size_t level) {
    using K = PartStop::Kind;
    std::string line;
    while (readLineStart(line)) {
        for (;;) {
            if (line == ".") return {K::EndLine, {}};
            const int m = matchDelimiter(line);
            if (m < 0) break;  // preamble, epilogue, the rest of a dropped part
            if (static_cast<std::size_t>(m) < level) return {K::Delimiter, line};
            if (line.compare(delimiters_[m].size(), 2, "--") == 0) return {K::Closed, {}};
            PartStop p = DecodePart(level);
            if (p.kind == K::Delimiter) {
                line = std::move(p.line);
                continue;
            }
            if (p.kind == K::Continue) break;
            return p;
        }
    }
    return {K::EndOfFile, {}};
}

template <typename Sink>
PartStop AttachmentDecoder::readBody(Sink&& sink, bool bulk) {
    using K = PartStop::Kind;
    std::string_view piece;
    bool ended = true;
    for (;;) {
        if (bulk) {
            // Delimiters begin with "-" and the end line and stuffed lines with
            // ".": whole lines before the first of either are plain body.
            const std::string_view block = in_.peekLines();
            std::size_t cut = block.size();
            for (const char c : {'-', '.'}) {
                if (cut == 0) break;
                const void* at = std::memchr(block.data(), c, cut);
                if (!at) continue;
                const std::size_t i = static_cast<const char*>(at) - block.data();
                const void* lineEnd = memrchr(block.data(), '\n', i);
                cut = lineEnd ? static_cast<const char*>(lineEnd) - block.data() + 1 : 0;
            }
            if (cut > 0) {
                in_.skip(cut);
                if (!sink(block.substr(0, cut), true, true)) return {K::Continue, {}};
                continue;
            }
        }
        if (!in_.readPiece(piece, ended)) break;
        // The spool is dot-stuffed, so a lone "." can only be the message's end.
        if (ended && piece == ".") return {K::EndLine, {}};
        if (matchDelimiter(piece) >= 0) {
            PartStop stop{K::Delimiter, std::string(piece)};
            // Only the delimiter and what directly follows it matter.
            while (!ended && in_.readPiece(piece, ended)) {
            }
            return stop;
        }
        for (bool first = true;; first = false) {
            if (!sink(piece, first, ended)) return {K::Continue, {}};
            if (ended) break;
            if (!in_.readPiece(piece, ended)) return {K::EndOfFile, {}};
        }
    }
    return {K::EndOfFile, {}};
}

PartStop AttachmentDecoder::drainBody() {
    return readBody([](std::string_view, bool, bool) { return true; }, true);
}

void AttachmentDecoder::report(bool decoded, const std::string& name) {
    std::printf(decoded ? "      Decoded %s\n" : "      Unable to decode %s\n", name.c_str());
    std::fflush(stdout);
}

PartStop AttachmentDecoder::DecodePart(std::size_t level) {
    using K = PartStop::Kind;
    PartFacts facts;
    std::string line;
    for (;;) {
        const LineReader::HeaderRead r = in_.readHeaderLine(line);
        if (r == LineReader::HeaderRead::End) return {K::EndOfFile, {}};
        if (line == ".") return {K::EndLine, {}};
        if (line.empty()) break;
        // A part without header and body: the next delimiter follows at once.
        if (matchDelimiter(line) >= 0) return {K::Delimiter, line};
        facts.take(line);
        if (r == LineReader::HeaderRead::LastLine) return {K::EndOfFile, {}};
    }
    return decodeBody(facts, level, nullptr, false);
}

PartStop AttachmentDecoder::decodeBody(const PartFacts& facts, std::size_t level, bool* changed, bool topLevel) {
    using K = PartStop::Kind;
    using E = PartFacts::Encoding;
    if (facts.type.starts_with("multipart/")) {
        if (facts.boundary.empty()) return {K::Continue, {}};
        if (level + 1 >= kMaxDepth) {
            tooDeep_ = true;
            return {K::Continue, {}};
        }
        delimiters_.push_back("--" + facts.boundary);
        PartStop s;
        do {
            s = partLoop(level + 1);
        } while (s.kind == K::Closed);
        delimiters_.pop_back();
        return s;
    }

    const std::string name = facts.name();
    const bool named = !reduceName(name).empty();
    const bool encodedToFile = facts.encoding == E::Base64 || facts.encoding == E::Uuencode;
    // The post's own text: plain text not sent as an attachment file, a
    // message that is HTML itself (left to the HTML stripping), and HTML that
    // a client names only in an inline disposition.
    const bool inlineText =
        !facts.attachment && (!named || !encodedToFile) &&
        (facts.isText() || (facts.isHtml() && topLevel) ||
         (facts.isHtml() && named && facts.typeName.empty() && !facts.dispositionName.empty()));
    if (inlineText) return decodeInlineText(facts, changed);
    if (changed) *changed = true;
    return decodeToFile(facts, named ? name : std::string());
}

PartStop AttachmentDecoder::decodeUuencoded(const std::string& shown) {
    UuStream uu(folder_);
    bool wanted = true;
    PartStop stop = readBody([&](std::string_view piece, bool first, bool) {
        // The rest of a line longer than the buffer is no uuencoded data.
        if (first && wanted) wanted = uu.line(unstuffed(piece));
        return true;
    });
    report(uu.finish() == ResultCode::Success, shown);
    return stop;
}

PartStop AttachmentDecoder::decodeToFile(const PartFacts& facts, const std::string& name) {
    using E = PartFacts::Encoding;
    auto drain = [this] { return drainBody(); };

    std::string shown = name;
    std::optional<std::string> fileName;
    if (!name.empty()) {
        fileName = attachmentFileName(name);
        // Clients name a forwarded message by its subject; members' programs
        // open it by its extension.
        if (fileName && facts.type == "message/rfc822" && !text::endsWithIgnoreCase(*fileName, ".eml"))
            fileName = attachmentFileName(*fileName + ".eml");
        if (!fileName) shown = sanitizeName(reduceName(name));
    } else {
        shown = nextNumberedName(folder_, generatedExtension(facts.type));
    }
    if (folder_.empty() || (!name.empty() && !fileName)) {
        PartStop s = drain();
        report(false, shown);
        return s;
    }
    platform::createDirectory(folder_);
    if (facts.encoding == E::Uuencode) return decodeUuencoded(shown);

    // Numbered names are taken only when written, so nothing is ever replaced.
    std::string target;
    if (fileName) {
        target = freeTarget(folder_, *fileName);
        if (!target.empty()) shown = target.substr(target.rfind('/') + 1);
    } else {
        target = reserveNumberedName(folder_, generatedExtension(facts.type));
        if (!target.empty()) shown = target;
    }
    LineWriter file;
    if (!target.empty()) file = LineWriter(target);
    if (!file.isOpen()) {
        PartStop s = drain();
        report(false, shown);
        return s;
    }

    Base64Decoder base64;
    QuotedPrintablePieces qpPieces;
    std::string qp;
    bool written = true;
    // The line end before a delimiter belongs to the delimiter: a line's end
    // is written only when another line follows.
    bool lineEndOwed = false;
    auto toFile = [&](std::string_view piece, bool first, bool ended) {
        if (!written) return true;  // the rest of a failed part is passed over
        if (first) piece = unstuffed(piece);
        if (facts.encoding == E::Base64) {
            decodeBase64Into(base64, piece, bytes_);
            written = file.write(bytes_.data(), bytes_.size());
            return true;
        }
        if (first && lineEndOwed) written = file.write("\r\n", 2);
        lineEndOwed = false;
        if (facts.encoding == E::QuotedPrintable) {
            qp.clear();
            lineEndOwed = qpPieces.feed(piece, ended, qp);
            if (lineEndOwed) qp.pop_back();
            written = written && file.write(qp.data(), qp.size());
        } else {
            lineEndOwed = ended;
            written = written && file.write(piece.data(), piece.size());
        }
        return true;
    };
    PartStop stop = readBody(toFile, facts.encoding == E::Base64);
    // A part that ends the message without a delimiter keeps its last line end.
    if (lineEndOwed && stop.kind != PartStop::Kind::Delimiter && written) written = file.write("\r\n", 2);
    const bool ok = file.close() && written && base64.status() != Base64Decoder::Status::Invalid;
    if (!ok) platform::removeFile(target);
    // Unencoded parts were always stored without a line of their own.
    if (facts.encoding != E::None || !ok) report(ok, shown);
    return stop;
}

PartStop AttachmentDecoder::decodeInlineText(const PartFacts& facts, bool* changed) {
    using E = PartFacts::Encoding;
    TextToUtf8 converter(facts.charset);
    TextLines lines(rewrite_);
    Base64Decoder base64;
    std::string bytes;
    std::string utf8;
    bool same = true;
    QuotedPrintablePieces qp;
    PartStop stop = readBody([&](std::string_view piece, bool first, bool ended) {
        if (first) piece = unstuffed(piece);
        bytes.clear();
        if (facts.encoding == E::Base64) {
            decodeBase64Into(base64, piece, bytes);
        } else if (facts.encoding == E::QuotedPrintable) {
            qp.feed(piece, ended, bytes);
        } else {
            bytes.append(piece);
            if (ended) bytes += '\n';
        }
        utf8.clear();
        converter.convert(bytes, utf8, false);
        if (same && utf8 != bytes) same = false;
        return lines.add(utf8);
    });
    utf8.clear();
    converter.convert({}, utf8, true);
    if (!utf8.empty()) same = false;
    lines.add(utf8);
    lines.finish();
    if (changed) *changed = !same || facts.encoding != E::None;
    if (base64.status() == Base64Decoder::Status::Invalid) report(false, nextNumberedName(folder_, ".TXT"));
    return stop;
}

}  // namespace mime

namespace mime {

namespace {

int32_t decodeMessageFile(const std::string& path) {
    const std::string rewritePath = rewriteFileOf(path);
    platform::StdioFile message = platform::openFile(path, "rb");
    if (!message) return ResultCode::FileNotOpened;
    // The rewrite file is created only once the message is known to change.
    LineWriter rewrite = LineWriter::deferred(rewritePath);
    LineReader reader(message.get());

    auto discard = [&](int32_t result) {
        rewrite.abandon();
        message.reset();
        platform::removeFile(rewritePath);
        return result;
    };

    constexpr uint32_t kBoundaryCapacity = 8192;
    std::vector<char> boundary(kBoundaryCapacity);
    uint32_t boundarySize = kBoundaryCapacity;
    int32_t isMultipart = 0;
    std::vector<std::string> contentLines;
    HeaderFields fields;
    fields.boundary = {boundary.data(), &boundarySize};
    fields.isMultipart = &isMultipart;
    fields.contentLines = &contentLines;
    const int32_t parsed = ParseHeader(&reader, &rewrite, fields);
    if (parsed != ResultCode::Success) return discard(parsed);

    bool complete = false;
    bool tooDeep = false;
    if (isMultipart && boundarySize > 0) {
        if (!rewrite.open()) return discard(ResultCode::FileNotCreated);
        // boundarySize is the length, or the capacity for a boundary that filled it.
        AttachmentDecoder decoder(path, reader, rewrite, std::string(boundary.data(), boundarySize));
        complete = decoder.run();
        tooDeep = decoder.tooDeep();
    } else {
        PartFacts facts;
        for (const std::string& line : contentLines) facts.take(line);
        AttachmentDecoder decoder(path, reader, rewrite, std::string());
        bool changed = true;
        complete = decoder.runSinglePart(facts, &changed);
        // Plain text that needed nothing stays exactly as it came.
        if (!changed) return discard(ResultCode::Success);
    }
    message.reset();
    if (tooDeep) return discard(ResultCode::DecodeFailed);
    if (!complete) return discard(ResultCode::Success);
    if (!rewrite.open())
        return discard(rewrite.createFailed() ? ResultCode::FileNotCreated : ResultCode::WriteError);
    // A rewrite that lost lines must never replace the message.
    if (!rewrite.sync() || !rewrite.close()) return discard(ResultCode::WriteError);
    // One atomic step: the message is never missing, whenever the process stops.
    if (!platform::renameFile(rewritePath, path) || !platform::fileExists(path)) {
        platform::removeFile(rewritePath);
        return ResultCode::RenameFailed;
    }
    return ResultCode::Success;
}

}  // namespace

int32_t decodeAttachments(const char* path) noexcept {
    if (!path) return ResultCode::NullPointer;
    try {
        return decodeMessageFile(path);
    } catch (...) {
        return ResultCode::OutOfMemory;
    }
}

}  // namespace mime
