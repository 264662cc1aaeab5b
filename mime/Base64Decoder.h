// Streaming base64 decoding (RFC 2045 alphabet). CR and LF are skipped; any
// other byte outside the alphabet makes the input undecodable. A group with
// "=" padding ends the data; a last group that lacks its padding is read as
// if it had it, as common decoders do.
#pragma once

#include <cstddef>

namespace mime {

class Base64Decoder {
public:
    enum class Status { More, Finished, Invalid };

    // Decodes `n` bytes of text into `out`, which must hold at least
    // maxOutput(n) bytes; `written` receives the decoded byte count. Once
    // Finished or Invalid, further input is ignored.
    Status feed(const char* in, std::size_t n, unsigned char* out, std::size_t& written);

    // The end of the input: the bytes of a last group of two or three
    // characters ("QQ" as "QQ=="), at most 2, into `out`; returns their count.
    std::size_t finish(unsigned char* out);

    Status status() const { return status_; }
    static constexpr std::size_t maxOutput(std::size_t n) { return (n / 4 + 1) * 3; }

private:
    Status status_ = Status::More;
    unsigned char quad_[4] = {};
    unsigned pending_ = 0;
};

}  // namespace mime
