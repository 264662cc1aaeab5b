#include "AttachmentDecoder.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "AttachmentNames.h"
#include "Base64Decoder.h"
#include "HeaderParser.h"
#include "QuotedPrintable.h"
#include "TextToUtf8.h"
#include "UuDecoder.h"
#include "platform/StdioFile.h"
#include "text/Printable.h"
#include "text/TextRules.h"
#include "transport/ResultCodes.h"

namespace mime {

// Where the body of one leaf part goes, a piece at a time.
class PartSink {
public:
    virtual ~PartSink() = default;
    // Whether line ends in the body carry no meaning here.
    virtual bool bulk() const { return false; }
    virtual void take(std::string_view piece, bool lineStart, bool lineEnded) = 0;
    virtual void finish(bool endedAtDelimiter) = 0;
};

namespace {

// Lines from the spool lose the dot-stuffing of the mail transfer when they
// leave it: the spool keeps it, a decoded file or text must not.
std::string_view unstuffed(std::string_view line) {
    if (line.size() >= 2 && line[0] == '.' && line[1] == '.') line.remove_prefix(1);
    return line;
}

// Names come from mail and may be megabytes long; the log gets their start.
constexpr std::size_t kMaxPrintedName = 200;

void report(bool decoded, const std::string& name) {
    std::printf(decoded ? "      Decoded %s\n" : "      Unable to decode %s\n",
                text::printable(name, kMaxPrintedName).c_str());
    std::fflush(stdout);
}

// Appends the bytes of a base64 piece; `last` also takes an unpadded last group.
template <typename Bytes>
void decodeBase64Into(Base64Decoder& decoder, std::string_view text, Bytes& out, bool last = false) {
    out.resize(Base64Decoder::maxOutput(text.size()) + 2);
    std::size_t n = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    decoder.feed(text.data(), text.size(), bytes, n);
    if (last) n += decoder.finish(bytes + n);
    out.resize(n);
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

// A part that goes nowhere; `failure`, when given, is reported at its end.
class DroppedPart final : public PartSink {
public:
    explicit DroppedPart(std::optional<std::string> failure = std::nullopt) : failure_(std::move(failure)) {}
    bool bulk() const override { return true; }
    void take(std::string_view, bool, bool) override {}
    void finish(bool) override {
        if (failure_) report(false, *failure_);
    }

private:
    std::optional<std::string> failure_;
};

// The post's own text, converted to UTF-8 into the rewritten message.
class InlineText final : public PartSink {
public:
    InlineText(const PartFacts& facts, LineWriter& rewrite, AttachmentFiles& files, bool* changed)
        : encoding_(facts.encoding), converter_(facts.charset), lines_(rewrite), files_(files), changed_(changed) {}

    void take(std::string_view piece, bool lineStart, bool lineEnded) override {
        if (!ok_) return;  // the rest of a text that failed to be written is passed over
        if (lineStart) piece = unstuffed(piece);
        bytes_.clear();
        if (encoding_ == PartFacts::Encoding::Base64) {
            decodeBase64Into(base64_, piece, bytes_);
        } else if (encoding_ == PartFacts::Encoding::QuotedPrintable) {
            qp_.feed(piece, lineEnded, bytes_);
        } else {
            bytes_.append(piece);
            if (lineEnded) bytes_ += '\n';
        }
        convert(false);
    }

    void finish(bool) override {
        bytes_.clear();
        if (encoding_ == PartFacts::Encoding::Base64) decodeBase64Into(base64_, {}, bytes_, true);
        convert(true);
        lines_.finish();
        if (changed_) *changed_ = !same_ || encoding_ != PartFacts::Encoding::None;
        if (base64_.status() == Base64Decoder::Status::Invalid) report(false, files_.nextNumberedPath(".TXT"));
    }

private:
    void convert(bool last) {
        utf8_.clear();
        converter_.convert(bytes_, utf8_, last);
        if (same_ && utf8_ != bytes_) same_ = false;
        ok_ = lines_.add(utf8_);
    }

    PartFacts::Encoding encoding_;
    TextToUtf8 converter_;
    TextLines lines_;
    AttachmentFiles& files_;
    bool* changed_;
    Base64Decoder base64_;
    QuotedPrintablePieces qp_;
    std::string bytes_;
    std::string utf8_;
    bool same_ = true;
    bool ok_ = true;
};

// A base64, quoted-printable or unencoded part decoded into its file.
class FilePart final : public PartSink {
public:
    FilePart(PartFacts::Encoding encoding, AttachmentFiles& files, AttachmentFiles::File file, std::string shown)
        : encoding_(encoding), files_(files), file_(std::move(file)), shown_(std::move(shown)) {}

    bool bulk() const override { return encoding_ == PartFacts::Encoding::Base64; }

    void take(std::string_view piece, bool lineStart, bool lineEnded) override {
        if (!written_) return;  // the rest of a failed part is passed over
        if (lineStart) piece = unstuffed(piece);
        if (encoding_ == PartFacts::Encoding::Base64) {
            decodeBase64Into(base64_, piece, bytes_);
            written_ = file_.writer.write(bytes_.data(), bytes_.size());
            return;
        }
        if (lineStart && lineEndOwed_) written_ = file_.writer.write("\r\n", 2);
        lineEndOwed_ = false;
        if (encoding_ == PartFacts::Encoding::QuotedPrintable) {
            bytes_.clear();
            lineEndOwed_ = qp_.feed(piece, lineEnded, bytes_);
            if (lineEndOwed_) bytes_.pop_back();
            written_ = written_ && file_.writer.write(bytes_.data(), bytes_.size());
        } else {
            lineEndOwed_ = lineEnded;
            written_ = written_ && file_.writer.write(piece.data(), piece.size());
        }
    }

    void finish(bool endedAtDelimiter) override {
        if (written_ && encoding_ == PartFacts::Encoding::Base64) {
            decodeBase64Into(base64_, {}, bytes_, true);
            written_ = file_.writer.write(bytes_.data(), bytes_.size());
        }
        // The line end before a delimiter belongs to the delimiter; a part
        // that ends the message without one keeps its last line end.
        if (lineEndOwed_ && !endedAtDelimiter && written_) written_ = file_.writer.write("\r\n", 2);
        const bool ok = file_.writer.close() && written_ && base64_.status() != Base64Decoder::Status::Invalid;
        if (!ok) files_.discard(file_);
        // An unencoded part is stored, not decoded: it gets a line only when that fails.
        if (encoding_ != PartFacts::Encoding::None || !ok) report(ok, shown_);
    }

private:
    PartFacts::Encoding encoding_;
    AttachmentFiles& files_;
    AttachmentFiles::File file_;
    std::string shown_;
    Base64Decoder base64_;
    QuotedPrintablePieces qp_;
    std::string bytes_;
    bool written_ = true;
    bool lineEndOwed_ = false;
};

class UuencodedPart final : public PartSink {
public:
    UuencodedPart(AttachmentFiles& files, std::string shown) : uu_(files), shown_(std::move(shown)) {}

    void take(std::string_view piece, bool lineStart, bool) override {
        // The rest of a line longer than the buffer is no uuencoded data.
        if (lineStart && wanted_) wanted_ = uu_.line(unstuffed(piece));
    }
    void finish(bool) override { report(uu_.finish() == ResultCode::Success, shown_); }

private:
    UuStream uu_;
    std::string shown_;
    bool wanted_ = true;
};

}  // namespace

AttachmentDecoder::AttachmentDecoder(AttachmentFiles& files, LineWriter& rewrite) : files_(files), rewrite_(rewrite) {}

AttachmentDecoder::~AttachmentDecoder() = default;

PartIterator::Outcome AttachmentDecoder::run(PartIterator& parts, bool* changed) {
    using Step = PartIterator::Step;
    std::unique_ptr<PartSink> sink;
    for (;;) {
        switch (parts.next()) {
            case Step::PartBegins:
                sink = sinkFor(parts.facts(), parts.topLevel(), changed);
                if (files_.full()) return PartIterator::Outcome::TooManyParts;
                parts.takeInBulk(sink->bulk());
                break;
            case Step::Piece: sink->take(parts.piece(), parts.lineStart(), parts.lineEnded()); break;
            case Step::PartEnds:
                sink->finish(parts.endedAtDelimiter());
                sink.reset();
                if (files_.full()) return PartIterator::Outcome::TooManyParts;
                break;
            case Step::End: return parts.outcome();
        }
    }
}

std::unique_ptr<PartSink> AttachmentDecoder::sinkFor(const PartFacts& facts, bool topLevel, bool* changed) {
    using E = PartFacts::Encoding;
    // A part list without a boundary cannot be read.
    if (facts.isMultipart()) {
        if (changed) *changed = true;
        return std::make_unique<DroppedPart>();
    }
    const std::string name = facts.name();
    const std::string_view reduced = reducedName(name);
    const bool named = !reduced.empty();
    const bool encodedToFile = facts.encoding == E::Base64 || facts.encoding == E::Uuencode;
    // The post's own text: plain text not sent as an attachment file, a
    // message that is HTML itself (left to the HTML stripping), and HTML that
    // a client names only in an inline disposition.
    const bool inlineText = !facts.attachment && (!named || !encodedToFile) &&
                            (facts.isText() || (facts.isHtml() && topLevel) ||
                             (facts.isHtml() && named && facts.typeName.empty() && !facts.dispositionName.empty()));
    if (inlineText) return std::make_unique<InlineText>(facts, rewrite_, files_, changed);
    if (changed) *changed = true;
    return fileSinkFor(facts, named ? name : std::string(), reduced);
}

std::unique_ptr<PartSink> AttachmentDecoder::fileSinkFor(const PartFacts& facts, const std::string& name,
                                                         std::string_view reduced) {
    const std::string_view ext = generatedExtension(facts.type);
    std::string shown = name;
    std::optional<std::string> fileName;
    if (!name.empty()) {
        if (reduced.size() <= kMaxNameLength) fileName = attachmentFileName(reduced);
        // Clients name a forwarded message by its subject; members' programs
        // open it by its extension.
        if (fileName && facts.type == "message/rfc822" && !text::endsWithIgnoreCase(*fileName, ".eml"))
            fileName = attachmentFileName(*fileName + ".eml");
        if (!fileName) return std::make_unique<DroppedPart>(sanitizeName(reduced));
    }
    if (facts.encoding == PartFacts::Encoding::Uuencode)
        return std::make_unique<UuencodedPart>(files_, fileName ? shown : files_.nextNumberedPath(ext));

    std::optional<AttachmentFiles::File> file = fileName ? files_.createNamed(*fileName) : files_.createNumbered(ext);
    if (!file) return std::make_unique<DroppedPart>(fileName ? shown : files_.nextNumberedPath(ext));
    shown = fileName ? file->name : file->path;
    return std::make_unique<FilePart>(facts.encoding, files_, std::move(*file), std::move(shown));
}

namespace {

int32_t decodeMessageFile(const std::string& path) {
    using Outcome = PartIterator::Outcome;
    AttachmentFiles files(path);
    platform::StdioFile message = files.openMessage();
    if (!message) return ResultCode::FileNotOpened;
    // The rewrite file is created only once the message is known to change.
    LineWriter& rewrite = files.rewrite();
    LineReader reader(message.get());

    auto discard = [&](int32_t result) {
        message.reset();
        files.discardRewrite();
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

    AttachmentDecoder decoder(files, rewrite);
    Outcome outcome;
    if (isMultipart && boundarySize > 0) {
        if (!rewrite.open()) return discard(ResultCode::FileNotCreated);
        // boundarySize is the length, or the capacity for a boundary that filled it.
        PartIterator parts(reader, std::string(boundary.data(), boundarySize));
        outcome = decoder.run(parts);
    } else {
        PartFacts facts;
        for (const std::string& line : contentLines) facts.take(line);
        PartIterator parts(reader, facts);
        bool changed = true;
        outcome = decoder.run(parts, &changed);
        // Plain text that needed nothing stays exactly as it came.
        if (!changed) return discard(ResultCode::Success);
    }
    message.reset();
    if (outcome == Outcome::Complete) return files.replaceMessage();
    // A message that ends without its "." line is left as it was.
    if (outcome == Outcome::Truncated) return discard(ResultCode::Success);
    // A refused message keeps nothing decoded from it.
    files.removeCreated();
    return discard(outcome == Outcome::TooDeep ? ResultCode::DecodeFailed : ResultCode::TooManyParts);
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
