// Streaming base64 decoding (RFC 2045 alphabet). CR and LF are skipped; any
// other byte outside the alphabet makes the input undecodable. A group with
// "=" padding ends the data; a partial group at the very end is ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mime {

class Base64Decoder {
public:
    enum class Status { More, Finished, Invalid };

    // Decodes `n` bytes of text into `out`, which must hold at least
    // maxOutput(n) bytes; `written` receives the decoded byte count. Once
    // Finished or Invalid, further input is ignored.
    Status feed(const char* in, std::size_t n, unsigned char* out, std::size_t& written);

    Status status() const { return status_; }
    static constexpr std::size_t maxOutput(std::size_t n) { return (n / 4 + 1) * 3; }

private:
    Status status_ = Status::More;
    unsigned char quad_[4] = {};
    unsigned pending_ = 0;
};

// Decodes the base64 text file `source` into a new byte file `target`.
// 0, -21 (a name null), -23 (source not readable), -25 (target not created),
// -26 (write failed) or -30 (not base64). On failure no target is left.
int32_t DecodeBase64File(const char* source, const char* target);

}  // namespace mime
