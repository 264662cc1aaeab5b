#include "AttachmentDecoder.h"

#include <cstdio>
#include <optional>

#include "AttachmentNames.h"
#include "Base64Decoder.h"
#include "HeaderParser.h"
#include "KOVAPOP3.h"
#include "StdioFile.h"
#include "UuDecoder.h"
#include "platform/FileSystem.h"
#include "transport/ResultCodes.h"
#include "transport/TextRules.h"

namespace mime {

// What a part's header lines say about it.
struct PartFacts {
    bool isHtml = false;
    bool isText = false;
    bool isBase64 = false;
    bool isUuencoded = false;
    bool htmlToFile = false;
    bool nameTaken = false;
    std::string name;
    std::optional<std::string> nestedBoundary;

    void take(const std::string& line);

private:
    bool takeName(const std::string& line, std::size_t from);
};

namespace {

constexpr std::string_view kContentType = "CONTENT-TYPE:";
constexpr std::string_view kTransferEncoding = "CONTENT-TRANSFER-ENCODING:";
constexpr std::string_view kDisposition = "CONTENT-DISPOSITION:";

bool contains(const std::string& upper, std::string_view what) { return upper.find(what) != std::string::npos; }

// Lines that go to an attachment file lose the dot-stuffing of the mail
// transfer: the spool keeps it, a decoded file must not.
std::string_view unstuffed(std::string_view line) {
    if (line.size() >= 2 && line[0] == '.' && line[1] == '.') line.remove_prefix(1);
    return line;
}

}  // namespace

bool PartFacts::takeName(const std::string& line, std::size_t from) {
    static constexpr std::string_view kName = "NAME=\"";
    const std::string upper = text::toUpper(std::string_view(line).substr(from));
    const std::size_t at = upper.find(kName);
    if (at == std::string::npos) return false;
    const std::size_t start = from + at + kName.size();
    // The value ends at its closing quote; parameters behind it are no part of the name.
    const std::size_t close = line.find('"', start);
    std::string value = text::trim(std::string_view(line).substr(start, close == std::string::npos ? std::string::npos
                                                                                                 : close - start));
    while (!value.empty() && value.back() == '"') value.pop_back();
    name = value;
    nameTaken = true;
    return true;
}

void PartFacts::take(const std::string& line) {
    if (text::startsWithIgnoreCase(line, kContentType)) {
        const std::string upper = text::toUpper(std::string_view(line).substr(kContentType.size()));
        if (contains(upper, "TEXT/HTML")) isHtml = true;
        if (contains(upper, "TEXT/PLAIN")) isText = true;
        if (contains(upper, "MULTIPART/")) {
            std::string b;
            if (findQuotedBoundary(line, kContentType.size(), b) && !b.empty()) nestedBoundary = b;
        }
        if (takeName(line, kContentType.size())) htmlToFile = isHtml;
    } else if (text::startsWithIgnoreCase(line, kTransferEncoding)) {
        const std::string upper = text::toUpper(std::string_view(line).substr(kTransferEncoding.size()));
        if (contains(upper, "BASE64"))
            isBase64 = true;
        else if (contains(upper, "UUENCODE"))
            isUuencoded = true;
    } else if (text::startsWithIgnoreCase(line, kDisposition)) {
        if (!nameTaken) takeName(line, kDisposition.size());
    }
}

AttachmentDecoder::AttachmentDecoder(const std::string& messagePath, LineReader& input, LineWriter& rewrite,
                                     const std::string& boundary)
    : folder_(attachmentFolderOf(messagePath)), in_(input), rewrite_(rewrite) {
    delimiters_.push_back("--" + boundary);
}

int AttachmentDecoder::matchDelimiter(const std::string& line) const {
    if (line.size() < 2 || line[0] != '-' || line[1] != '-') return -1;
    int best = -1;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < delimiters_.size(); ++i) {
        const std::string& d = delimiters_[i];
        if (line.compare(0, d.size(), d) == 0 && d.size() >= bestLength) {
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

PartStop AttachmentDecoder::partLoop(std::size_t level) {
    using K = PartStop::Kind;
    std::string line;
    while (in_.readLine(line)) {
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
PartStop AttachmentDecoder::readBody(Sink&& sink) {
    using K = PartStop::Kind;
    std::string line;
    while (in_.readLine(line)) {
        // The spool is dot-stuffed, so a lone "." can only be the message's end.
        if (line == ".") return {K::EndLine, {}};
        if (matchDelimiter(line) >= 0) return {K::Delimiter, line};
        if (!sink(line)) return {K::Continue, {}};
    }
    return {K::EndOfFile, {}};
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

    if (facts.nestedBoundary) {
        if (level + 1 >= kMaxDepth) return {K::Continue, {}};
        delimiters_.push_back("--" + *facts.nestedBoundary);
        PartStop s;
        do {
            s = partLoop(level + 1);
        } while (s.kind == K::Closed);
        delimiters_.pop_back();
        return s;
    }
    if (!facts.isBase64 && !facts.isUuencoded && !facts.isHtml && !facts.isText) return {K::Continue, {}};

    if (reduceName(facts.name).empty()) {
        // The text of a post that its client sent in base64 belongs in the message.
        if (facts.isText && !facts.isHtml && facts.isBase64) return decodeInlineBase64Text();
        if (!facts.isHtml && !facts.isText) return {K::Continue, {}};
        facts.name.clear();
        facts.htmlToFile = facts.isHtml;
    }
    if (!facts.isBase64 && !facts.isUuencoded && !facts.htmlToFile)
        return readBody([this](const std::string& l) { return rewrite_.writeLine(l); });
    return decodeToFile(facts);
}

PartStop AttachmentDecoder::decodeToFile(PartFacts& facts) {
    auto drain = [this] { return readBody([](const std::string&) { return true; }); };

    // A generated name is shown with its full path, a part's name as written.
    const bool generated = facts.name.empty();
    std::string shown;
    std::string target;
    if (generated) {
        shown = nextNumberedName(folder_, facts.isHtml ? ".HTM" : ".TXT");
    } else {
        const std::optional<std::string> name = attachmentFileName(facts.name);
        if (!name || folder_.empty()) {
            PartStop s = drain();
            report(false, sanitizeName(reduceName(facts.name)));
            return s;
        }
        shown = *name;
        target = platform::joinPath(folder_, *name);
    }

    if (folder_.empty()) {
        PartStop s = drain();
        report(false, shown);
        return s;
    }
    platform::createDirectory(folder_);
    const std::string collection = platform::joinPath(folder_, kWorkFileName);
    platform::removeFile(collection);
    LineWriter parts(collection);
    if (!parts.isOpen()) {
        PartStop s = drain();
        report(false, shown);
        return s;
    }
    PartStop stop = readBody([&parts](const std::string& l) { return parts.writeLine(unstuffed(l)); });
    const bool collected = parts.close();

    if (facts.isUuencoded) {
        const bool ok = collected && DecodeUuFile(folder_.c_str(), collection.c_str()) == ResultCode::Success;
        report(ok, shown);
    } else {
        // Numbered names are taken only when written, so nothing is ever replaced.
        if (generated) {
            target = reserveNumberedName(folder_, facts.isHtml ? ".HTM" : ".TXT");
            if (!target.empty()) shown = target;
        }
        if (facts.isBase64) {
            const bool ok = collected && !target.empty() &&
                            DecodeBase64File(collection.c_str(), target.c_str()) == ResultCode::Success;
            report(ok, shown);
        } else if (collected && !target.empty()) {
            platform::renameFile(collection, target);
        }
    }
    platform::removeFile(collection);
    return stop;
}

PartStop AttachmentDecoder::decodeInlineBase64Text() {
    // Decoded text is written as lines of the rewritten message: CR LF ends,
    // dot-stuffed like the rest of the spool so a "." line never ends it early.
    constexpr std::size_t kMaxLine = 1024 * 1024;
    Base64Decoder decoder;
    std::vector<unsigned char> bytes;
    std::string pending;
    bool ok = true;
    auto flushLine = [&]() {
        std::string_view l(pending);
        while (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (!l.empty() && l.front() == '.') ok = rewrite_.write(".", 1) && ok;
        ok = rewrite_.writeLine(l) && ok;
        pending.clear();
    };
    PartStop stop = readBody([&](const std::string& l) {
        bytes.resize(Base64Decoder::maxOutput(l.size()));
        std::size_t n = 0;
        decoder.feed(l.data(), l.size(), bytes.data(), n);
        for (std::size_t i = 0; i < n; ++i) {
            if (bytes[i] == '\n') {
                flushLine();
            } else {
                pending += static_cast<char>(bytes[i]);
                if (pending.size() >= kMaxLine) flushLine();
            }
        }
        return ok;
    });
    if (!pending.empty()) flushLine();
    if (decoder.status() == Base64Decoder::Status::Invalid)
        report(false, nextNumberedName(folder_, ".TXT"));
    return stop;
}

}  // namespace mime

namespace {

int32_t decodeAttachments(const std::string& path) {
    using namespace mime;
    const std::string rewritePath = rewriteFileOf(path);
    StdioFile message = openFile(path, "rb");
    if (!message) return ResultCode::FileNotOpened;
    LineWriter rewrite(rewritePath);
    if (!rewrite.isOpen()) return ResultCode::FileNotCreated;
    LineReader reader(message.get());

    auto discard = [&](int32_t result) {
        rewrite.close();
        message.reset();
        platform::removeFile(rewritePath);
        return result;
    };

    constexpr uint32_t kBoundaryCapacity = 8192;
    std::vector<char> boundary(kBoundaryCapacity);
    uint32_t boundarySize = kBoundaryCapacity;
    int32_t isMultipart = 0;
    HeaderFields fields;
    fields.boundary = {boundary.data(), &boundarySize};
    fields.isMultipart = &isMultipart;
    const int32_t parsed = ParseHeader(&reader, &rewrite, fields);
    if (parsed != ResultCode::Success) return discard(parsed);
    // boundarySize is the length, or the capacity for a boundary that filled it.
    if (!isMultipart || boundarySize == 0) return discard(ResultCode::Success);

    AttachmentDecoder decoder(path, reader, rewrite, std::string(boundary.data(), boundarySize));
    const bool complete = decoder.run();
    message.reset();
    // A rewrite that lost lines must never replace the message.
    if (!rewrite.close()) return discard(ResultCode::WriteError);
    if (!complete) return discard(ResultCode::Success);
    // One atomic step: the message is never missing, whenever the process stops.
    if (!platform::renameFile(rewritePath, path) || !platform::fileExists(path)) {
        platform::removeFile(rewritePath);
        return ResultCode::RenameFailed;
    }
    return ResultCode::Success;
}

}  // namespace

extern "C" KOVAPOP3_API int32_t KOVAPOP3_DecodeAttachments(const char* path, int32_t /*unused*/) {
    if (!path) return ResultCode::NullPointer;
    try {
        return decodeAttachments(path);
    } catch (...) {
        return ResultCode::OutOfMemory;
    }
}
