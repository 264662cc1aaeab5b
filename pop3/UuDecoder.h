// Decoding of a uuencoded text file: the "begin" line names the file, each
// data line carries its byte count in its first character, "end" closes it.
#pragma once

#include <cstdint>
#include <string>

namespace mime {

// Decodes `source` into `folder` under the (reduced) name of its begin line.
// 0, -21, -23 (source not readable), -25 (target not created), -26 (write
// failed) or -30 (no usable begin line, or the data has no "end" line; the
// target is then deleted). `writtenName` receives the file name used.
int32_t DecodeUuFile(const char* folder, const char* source, std::string* writtenName = nullptr);

}  // namespace mime
