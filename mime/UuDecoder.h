// Decoding of uuencoded text: the "begin" line names the file, each data
// line carries its byte count in its first character, "end" closes it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "AttachmentFiles.h"

namespace mime {

// Uuencoded lines fed one at a time and decoded straight into a file of the
// attachment folder named by the begin line ("name (2)" when one of that
// name is there already).
class UuStream {
public:
    explicit UuStream(AttachmentFiles& files) : files_(files) {}

    // One line without its line end. False once the data is complete or
    // has failed: later lines are not needed.
    bool line(std::string_view line);
    // 0, -25 (target not created), -26 (write failed) or -30 (no usable
    // begin line, or the data has no "end" line); a failed target is deleted.
    int32_t finish();
    // The file name used; "" before the begin line.
    const std::string& name() const { return name_; }

private:
    enum class State { Begin, Data, End, Done };
    AttachmentFiles& files_;
    std::string name_;
    std::optional<AttachmentFiles::File> out_;
    State state_ = State::Begin;
    int32_t result_ = 0;
    bool finished_ = false;
};

// Decodes `source` into `folder` under the (reduced) name of its begin line,
// or "name (2)" when the folder holds that name.
// 0, -21, -23 (source not readable), or a result of UuStream::finish().
// `writtenName` receives the file name used.
int32_t DecodeUuFile(const char* folder, const char* source, std::string* writtenName = nullptr);

}  // namespace mime
