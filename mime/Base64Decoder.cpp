#include "Base64Decoder.h"

#include <array>

namespace mime {

namespace {

constexpr unsigned char kPad = 0x40;
constexpr unsigned char kSkip = 0x80;
constexpr unsigned char kInvalid = 0xFF;

constexpr std::array<unsigned char, 256> makeTable() {
    std::array<unsigned char, 256> t{};
    for (auto& v : t) v = kInvalid;
    for (int i = 0; i < 26; ++i) {
        t['A' + i] = static_cast<unsigned char>(i);
        t['a' + i] = static_cast<unsigned char>(26 + i);
    }
    for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<unsigned char>(52 + i);
    t['+'] = 62;
    t['/'] = 63;
    t['='] = kPad;
    t['\r'] = kSkip;
    t['\n'] = kSkip;
    return t;
}
constexpr std::array<unsigned char, 256> kTable = makeTable();

}  // namespace

Base64Decoder::Status Base64Decoder::feed(const char* text, std::size_t n, unsigned char* out, std::size_t& written) {
    written = 0;
    if (status_ != Status::More) return status_;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const end = p + n;
    unsigned char* o = out;
    for (;;) {
        // Whole groups of four alphabet bytes: the bulk of every line.
        if (pending_ == 0) {
            while (end - p >= 4) {
                const unsigned a = kTable[p[0]], b = kTable[p[1]], c = kTable[p[2]], d = kTable[p[3]];
                if ((a | b | c | d) & 0xC0) break;
                const unsigned v = (a << 18) | (b << 12) | (c << 6) | d;
                o[0] = static_cast<unsigned char>(v >> 16);
                o[1] = static_cast<unsigned char>(v >> 8);
                o[2] = static_cast<unsigned char>(v);
                o += 3;
                p += 4;
            }
        }
        if (p == end) break;
        const unsigned char v = kTable[*p++];
        if (v == kSkip) continue;
        if (v == kInvalid) {
            status_ = Status::Invalid;
            break;
        }
        quad_[pending_++] = static_cast<unsigned char>(v);
        if (pending_ < 4) continue;
        pending_ = 0;
        // "=" counts as zero bits; padding in the last two places shortens the group.
        const bool pad3 = quad_[2] == kPad, pad4 = quad_[3] == kPad;
        const unsigned bits = (static_cast<unsigned>(quad_[0] & 0x3F) << 18) |
                              (static_cast<unsigned>(quad_[1] & 0x3F) << 12) |
                              (static_cast<unsigned>(quad_[2] & 0x3F) << 6) | (quad_[3] & 0x3F);
        *o++ = static_cast<unsigned char>(bits >> 16);
        if (!pad3) *o++ = static_cast<unsigned char>(bits >> 8);
        if (!pad3 && !pad4) *o++ = static_cast<unsigned char>(bits);
        if (pad3 || pad4) {
            status_ = Status::Finished;
            break;
        }
    }
    written = static_cast<std::size_t>(o - out);
    return status_;
}

std::size_t Base64Decoder::finish(unsigned char* out) {
    if (status_ != Status::More) return 0;
    status_ = Status::Finished;
    unsigned data = 0;  // characters before any padding
    while (data < pending_ && quad_[data] != kPad) ++data;
    pending_ = 0;
    // One character holds only six bits: no byte.
    if (data < 2) return 0;
    const unsigned bits = (static_cast<unsigned>(quad_[0]) << 18) | (static_cast<unsigned>(quad_[1]) << 12) |
                          (data > 2 ? static_cast<unsigned>(quad_[2]) << 6 : 0u);
    out[0] = static_cast<unsigned char>(bits >> 16);
    if (data > 2) out[1] = static_cast<unsigned char>(bits >> 8);
    return data - 1;
}

}  // namespace mime
