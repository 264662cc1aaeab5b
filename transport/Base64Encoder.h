// Base64 (RFC 2045 alphabet) in the line layout of attachment parts: lines of
// 60 characters, each ended by CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace transport {

// Bytes per full line: 45 bytes give 60 characters.
inline constexpr size_t kBase64LineBytes = 45;

// Appends the encoding of `n` bytes to `out`, a CR LF after every 60
// characters. Any multiple of 45 bytes ends exactly after a line end, so a
// file may be encoded in such chunks and the last chunk of any size.
void appendBase64Lines(std::string& out, const unsigned char* bytes, size_t n);

// The encoding of `bytes` on one line, no line breaks, as SASL exchanges take it.
std::string base64Line(std::string_view bytes);

}  // namespace transport
