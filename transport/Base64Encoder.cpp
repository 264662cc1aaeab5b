#include "Base64Encoder.h"

namespace transport {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

void appendBase64Lines(std::string& out, const unsigned char* bytes, size_t n) {
    out.reserve(out.size() + (n + 2) / 3 * 4 + (n / kBase64LineBytes + 1) * 2);
    size_t i = 0;
    size_t lineChars = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        const char quad[4] = {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63],
                              kAlphabet[v & 63]};
        out.append(quad, 4);
        lineChars += 4;
        if (lineChars == 60) {
            out.append("\r\n", 2);
            lineChars = 0;
        }
    }
    if (i < n) {
        const unsigned b0 = bytes[i];
        const unsigned b1 = i + 1 < n ? bytes[i + 1] : 0;
        const unsigned v = (b0 << 16) | (b1 << 8);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
        if (lineChars + 4 == 60) out.append("\r\n", 2);
    }
}

std::string base64Line(std::string_view bytes) {
    std::string out;
    appendBase64Lines(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    std::erase_if(out, [](char c) { return c == '\r' || c == '\n'; });
    return out;
}

}  // namespace transport
