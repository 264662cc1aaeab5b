#include "HeaderParser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "MimeParameters.h"
#include "platform/Directory.h"
#include "platform/StdioFile.h"
#include "transport/ResultCodes.h"
#include "text/TextRules.h"

namespace mime {

namespace {

void zeroFill(const HeaderValue& v) {
    if (v.data && v.size && *v.size > 0) std::memset(v.data, 0, *v.size);
}

// Copies at most the capacity; the size tells the length only when the value
// fitted with room to spare.
void copyOut(const HeaderValue& v, std::string_view value) {
    if (!v.size) return;
    const uint32_t capacity = *v.size;
    if (v.data) {
        const std::size_t n = std::min<std::size_t>(value.size(), capacity);
        std::memset(v.data, 0, capacity);
        if (n > 0) std::memcpy(v.data, value.data(), n);
    }
    if (value.size() < capacity) *v.size = static_cast<uint32_t>(value.size());
}

void zeroSizeWhenEmpty(const HeaderValue& v) {
    if (!v.size) return;
    if (*v.size == 0 || !v.data) return;
    if (v.data[0] == '\0') *v.size = 0;
}

}  // namespace

bool multipartBoundary(std::string_view line, std::string& boundary) {
    static constexpr std::string_view kContentType = "CONTENT-TYPE:";
    if (!text::startsWithIgnoreCase(line, kContentType)) return false;
    const ContentField type = parseContentField(line.substr(kContentType.size()));
    if (!type.value.starts_with("multipart/")) return false;
    boundary = type.param("boundary");
    return !boundary.empty();
}

int32_t ParseHeader(LineReader* input, LineWriter* output, HeaderFields& f, bool* endedAtDot) {
    if (!input) return ResultCode::NullPointer;
    if (endedAtDot) *endedAtDot = false;

    struct Named {
        std::string_view name;
        const HeaderValue* value;
    };
    const std::array<Named, 6> named{{{"TO:", &f.to},
                                      {"CC:", &f.cc},
                                      {"FROM:", &f.from},
                                      {"REPLY-TO:", &f.replyTo},
                                      {"SUBJECT:", &f.subject},
                                      {"DATE:", &f.date}}};
    for (const Named& n : named) zeroFill(*n.value);
    zeroFill(f.header);
    zeroFill(f.boundary);
    if (f.isMultipart) *f.isMultipart = 0;

    auto write = [&](std::string_view line) { return !output || output->writeLine(line); };

    std::string collected;
    bool contentTypeWritten = false;
    bool complete = false;  // the block ended at an empty line or "."
    std::string line;
    HeaderRead r = readHeaderLine(*input, line);
    while (r != HeaderRead::End) {
        if (line == ".") {
            if (!write(line)) return ResultCode::WriteError;
            if (endedAtDot) *endedAtDot = true;
            complete = true;
            break;
        }
        if (line.empty()) {
            if (f.contentLines && !contentTypeWritten && !write(kPlainTextContentType)) return ResultCode::WriteError;
            if (!write(line)) return ResultCode::WriteError;
            complete = true;
            break;
        }
        for (const Named& n : named) {
            if (!n.value->size || !text::startsWithIgnoreCase(line, n.name)) continue;
            if (!write(line)) return ResultCode::WriteError;
            copyOut(*n.value, text::trim(std::string_view(line).substr(n.name.size())));
            line.clear();
            break;
        }
        std::string boundary;
        if (!line.empty() && multipartBoundary(line, boundary)) {
            if (f.isMultipart) *f.isMultipart = 1;
            if (f.boundary.size) {
                copyOut(f.boundary, boundary);
                // With contentLines the line is held back below.
                if (!f.contentLines) {
                    if (!write(kPlainTextContentType)) return ResultCode::WriteError;
                    line.clear();
                }
            }
        }
        if (f.contentLines && !line.empty() &&
            (text::startsWithIgnoreCase(line, "CONTENT-TYPE:") ||
             text::startsWithIgnoreCase(line, "CONTENT-TRANSFER-ENCODING:") ||
             text::startsWithIgnoreCase(line, "CONTENT-DISPOSITION:"))) {
            f.contentLines->push_back(line);
            line.clear();
            // The replacement stands where the first of them stood.
            if (!contentTypeWritten && !write(kPlainTextContentType)) return ResultCode::WriteError;
            contentTypeWritten = true;
        }
        if (!line.empty()) {
            if (!write(line)) return ResultCode::WriteError;
            if (!collected.empty()) collected += '\n';
            collected += line;
        }
        if (r == HeaderRead::LastLine) break;
        r = readHeaderLine(*input, line);
    }

    copyOut(f.header, collected);
    if (!complete) return ResultCode::HeaderIncomplete;
    for (const Named& n : named) zeroSizeWhenEmpty(*n.value);
    zeroSizeWhenEmpty(f.header);
    zeroSizeWhenEmpty(f.boundary);
    return ResultCode::Success;
}

int32_t readMessageHeader(const char* path, HeaderFields& fields) noexcept {
    if (!path) return ResultCode::NullPointer;
    try {
        // Message files lie where others may write: a link is never read.
        platform::StdioFile file = platform::adoptFile(platform::openRegularFile(path), "rb");
        if (!file) return ResultCode::FileNotOpened;
        LineReader reader(file.get(), 64 * 1024);
        return ParseHeader(&reader, nullptr, fields);
    } catch (...) {
        // Only allocation can fail by throwing here.
        return ResultCode::OutOfMemory;
    }
}

int32_t readMessageHeader(const char* path, char* to, uint32_t* toSize, char* cc, uint32_t* ccSize, char* from,
                          uint32_t* fromSize, char* replyTo, uint32_t* replyToSize, char* subject,
                          uint32_t* subjectSize, char* date, uint32_t* dateSize, char* header, uint32_t* headerSize,
                          int32_t* isMultipart, char* boundary, uint32_t* boundarySize) noexcept {
    HeaderFields f;
    f.to = {to, toSize};
    f.cc = {cc, ccSize};
    f.from = {from, fromSize};
    f.replyTo = {replyTo, replyToSize};
    f.subject = {subject, subjectSize};
    f.date = {date, dateSize};
    f.header = {header, headerSize};
    f.boundary = {boundary, boundarySize};
    f.isMultipart = isMultipart;
    return readMessageHeader(path, f);
}

}  // namespace mime
