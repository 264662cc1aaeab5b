#include "UuDecoder.h"

#include <string_view>

#include "AttachmentNames.h"
#include "LineReader.h"
#include "LineWriter.h"
#include "StdioFile.h"
#include "platform/FileSystem.h"
#include "transport/ResultCodes.h"
#include "transport/TextRules.h"

namespace mime {

namespace {

// The file name of a begin line ("begin MODE NAME"), or nothing when the line
// is no begin line or names no file.
bool beginLineName(const std::string& line, std::string& name) {
    if (line.size() < 6 || !text::startsWithIgnoreCase(line, "begin ")) return false;
    const std::string rest = text::trimLeft(std::string_view(line).substr(6));
    const std::size_t space = rest.find(' ');
    if (space == std::string::npos) return false;
    name.assign(rest.substr(space + 1));
    return true;
}

inline unsigned char sixBits(const std::string& line, std::size_t i) {
    // A line shorter than its count promises reads as zero bits, never past its end.
    return i < line.size() ? static_cast<unsigned char>((static_cast<unsigned char>(line[i]) - 32) & 0x3F) : 0;
}

bool isEndLine(const std::string& line) { return line.size() >= 3 && text::startsWithIgnoreCase(line, "end"); }

}  // namespace

int32_t DecodeUuFile(const char* folder, const char* source, std::string* writtenName) {
    if (!folder || !source) return ResultCode::NullPointer;
    StdioFile in = openFile(source, "rb");
    if (!in) return ResultCode::FileNotOpened;
    LineReader reader(in.get());

    std::string line, rawName;
    bool found = false;
    while (reader.readLine(line)) {
        if (beginLineName(line, rawName)) {
            found = true;
            break;
        }
    }
    if (!found) return ResultCode::DecodeFailed;
    const std::optional<std::string> name = attachmentFileName(rawName);
    if (!name) return ResultCode::DecodeFailed;
    if (writtenName) *writtenName = *name;

    const std::string target = platform::joinPath(folder, *name);
    LineWriter out(target);
    if (!out.isOpen()) return ResultCode::FileNotCreated;

    int32_t result = ResultCode::DecodeFailed;
    unsigned char bytes[64];
    while (reader.readLine(line)) {
        // Some encoders close with "end" without the empty count line first.
        if (text::equalsIgnoreCase(line, "end")) {
            result = ResultCode::Success;
            break;
        }
        int n = line.empty() ? 0 : sixBits(line, 0);
        if (n == 0) {
            if (reader.readLine(line) && isEndLine(line)) result = ResultCode::Success;
            break;
        }
        std::size_t count = 0;
        for (std::size_t i = 1; n > 0; i += 4, n -= 3) {
            const unsigned v = (sixBits(line, i) << 18) | (sixBits(line, i + 1) << 12) |
                               (sixBits(line, i + 2) << 6) | sixBits(line, i + 3);
            const unsigned char group[3] = {static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
                                            static_cast<unsigned char>(v)};
            for (int k = 0; k < 3 && k < n; ++k) bytes[count++] = group[k];
        }
        if (!out.write(bytes, count)) {
            result = ResultCode::WriteError;
            break;
        }
    }
    if (!out.close() && result == ResultCode::Success) result = ResultCode::WriteError;
    if (result != ResultCode::Success) platform::removeFile(target);
    return result;
}

}  // namespace mime
