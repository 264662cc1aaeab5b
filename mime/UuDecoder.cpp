#include "UuDecoder.h"

#include "AttachmentNames.h"
#include "LineReader.h"
#include "platform/Directory.h"
#include "platform/StdioFile.h"
#include "transport/ResultCodes.h"
#include "text/TextRules.h"

namespace mime {

namespace {

// The file name of a begin line ("begin MODE NAME"), or nothing when the line
// is no begin line or names no file.
bool beginLineName(std::string_view line, std::string& name) {
    if (line.size() < 6 || !text::startsWithIgnoreCase(line, "begin ")) return false;
    const std::string rest = text::trimLeft(line.substr(6));
    const std::size_t space = rest.find(' ');
    if (space == std::string::npos) return false;
    name.assign(rest.substr(space + 1));
    return true;
}

inline unsigned char sixBits(std::string_view line, std::size_t i) {
    // A line shorter than its count promises reads as zero bits, never past its end.
    return i < line.size() ? static_cast<unsigned char>((static_cast<unsigned char>(line[i]) - 32) & 0x3F) : 0;
}

bool isEndLine(std::string_view line) { return line.size() >= 3 && text::startsWithIgnoreCase(line, "end"); }

}  // namespace

bool UuStream::line(std::string_view line) {
    switch (state_) {
    case State::Begin: {
        std::string rawName;
        if (!beginLineName(line, rawName)) return true;
        state_ = State::Done;
        const std::optional<std::string> name = attachmentFileName(rawName);
        if (!name) {
            result_ = ResultCode::DecodeFailed;
            return false;
        }
        out_ = files_.createNamed(*name);
        if (!out_) {
            result_ = ResultCode::FileNotCreated;
            return false;
        }
        name_ = out_->name;
        state_ = State::Data;
        return true;
    }
    case State::Data: {
        // Some encoders close with "end" without the empty count line first.
        if (text::equalsIgnoreCase(line, "end")) {
            result_ = ResultCode::Success;
            state_ = State::Done;
            return false;
        }
        int n = line.empty() ? 0 : sixBits(line, 0);
        if (n == 0) {
            state_ = State::End;
            return true;
        }
        unsigned char bytes[64];
        std::size_t count = 0;
        for (std::size_t i = 1; n > 0; i += 4, n -= 3) {
            const unsigned v = (sixBits(line, i) << 18) | (sixBits(line, i + 1) << 12) |
                               (sixBits(line, i + 2) << 6) | sixBits(line, i + 3);
            const unsigned char group[3] = {static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
                                            static_cast<unsigned char>(v)};
            for (int k = 0; k < 3 && k < n; ++k) bytes[count++] = group[k];
        }
        if (!out_->writer.write(bytes, count)) {
            result_ = ResultCode::WriteError;
            state_ = State::Done;
            return false;
        }
        return true;
    }
    case State::End:
        result_ = isEndLine(line) ? ResultCode::Success : ResultCode::DecodeFailed;
        state_ = State::Done;
        return false;
    case State::Done:
        break;
    }
    return false;
}

int32_t UuStream::finish() {
    if (finished_) return result_;
    finished_ = true;
    if (state_ != State::Done) result_ = ResultCode::DecodeFailed;
    state_ = State::Done;
    if (!out_) return result_;
    if (!out_->writer.close() && result_ == ResultCode::Success) result_ = ResultCode::WriteError;
    if (result_ != ResultCode::Success) files_.discard(*out_);
    return result_;
}

int32_t DecodeUuFile(const char* folder, const char* source, std::string* writtenName) {
    if (!folder || !source) return ResultCode::NullPointer;
    platform::StdioFile in = platform::adoptFile(platform::openRegularFile(source), "rb");
    if (!in) return ResultCode::FileNotOpened;
    LineReader reader(in.get());
    AttachmentFiles files = AttachmentFiles::inFolder(folder);
    UuStream uu(files);
    std::string line;
    while (reader.readLine(line) && uu.line(line)) {
    }
    const int32_t result = uu.finish();
    if (writtenName && !uu.name().empty()) *writtenName = uu.name();
    return result;
}

}  // namespace mime
