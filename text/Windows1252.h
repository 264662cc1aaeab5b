// Windows-1252: how 8-bit text without a usable character set is read, in
// mail and in the list files that Windows editors write.
#pragma once

namespace text {

// The code point of a byte. The code page leaves 0x81, 0x8D, 0x8F, 0x90 and
// 0x9D undefined: they read as U+FFFD, never as the C1 controls of the same
// value, which would carry control characters into names, texts and logs.
char32_t windows1252ToUnicode(unsigned char byte);

// The byte that stands for a code point; -1 when the code page has none.
int unicodeToWindows1252(char32_t codePoint);

}  // namespace text
