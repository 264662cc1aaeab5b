#include "Windows1252.h"

namespace text {

namespace {

constexpr char32_t kUndefined = 0xFFFD;

// 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char32_t kHigh[32] = {
    0x20AC, kUndefined, 0x201A,     0x0192, 0x201E,     0x2026,     0x2020, 0x2021,     0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152,     kUndefined, 0x017D, kUndefined, kUndefined, 0x2018, 0x2019,     0x201C, 0x201D, 0x2022,
    0x2013, 0x2014,     0x02DC,     0x2122, 0x0161,     0x203A,     0x0153, kUndefined, 0x017E, 0x0178,
};

}  // namespace

char32_t windows1252ToUnicode(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char32_t(byte);
}

int unicodeToWindows1252(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<int>(codePoint);
    if (codePoint == kUndefined) return -1;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == codePoint) return 0x80 + i;
    return -1;
}

}  // namespace text
