#include "text/TextRules.h"
#include "text/Windows1252.h"

#include <gtest/gtest.h>

#include "text/Printable.h"

TEST(TextRules, TrimRemovesOnlySpaces) {
    EXPECT_EQ(text::trim("  a b  "), "a b");
    EXPECT_EQ(text::trim("\ta\t"), "\ta\t");
    EXPECT_EQ(text::trimLeft("  x "), "x ");
    EXPECT_EQ(text::trimRight(" x  "), " x");
    EXPECT_EQ(text::trim("   "), "");
}

TEST(TextRules, UpperCasingTouchesOnlyAsciiLetters) {
    EXPECT_EQ(text::toUpper("join \xe9t\xc3\xa9 z1"), "JOIN \xe9T\xc3\xa9 Z1");
    EXPECT_EQ(text::toLower("ABC\xc9"), "abc\xc9");
    EXPECT_TRUE(text::equalsIgnoreCase("Members.TXT", "members.txt"));
}

TEST(TextRules, OrderIgnoringCaseFoldsOnlyAsciiLetters) {
    EXPECT_EQ(text::compareIgnoreCase("Members.TXT", "members.txt"), 0);
    EXPECT_TRUE(text::lessIgnoreCase("apple", "Banana"));
    EXPECT_FALSE(text::lessIgnoreCase("Banana", "apple"));
    EXPECT_TRUE(text::lessIgnoreCase("list", "LISTS"));     // a text before a longer one it starts
    EXPECT_TRUE(text::lessIgnoreCase("Z", "_"));            // letters compare as upper case
    EXPECT_TRUE(text::lessIgnoreCase("z", "\xe9"));        // bytes above 127 after ASCII
    EXPECT_EQ(text::compareIgnoreCase("\xe9", "\xc9"), 1);  // no folding beyond ASCII
}

TEST(TextRules, HexDigitsWrittenUpperReadEitherCase) {
    std::string out;
    text::appendHex(out, 0x00);
    text::appendHex(out, 0xAF);
    text::appendHex(out, 0x7F);
    EXPECT_EQ(out, "00AF7F");
    EXPECT_EQ(text::hexDigitValue('a'), 10);
    EXPECT_EQ(text::hexDigitValue('F'), 15);
    EXPECT_EQ(text::hexDigitValue('9'), 9);
    EXPECT_EQ(text::hexDigitValue('g'), -1);
    EXPECT_EQ(text::hexDigitValue('/'), -1);
}

TEST(TextRules, Atol32LikeClassicAtolButSaturating) {
    EXPECT_EQ(text::atol32("12days"), 12);
    EXPECT_EQ(text::atol32("  -7"), -7);
    EXPECT_EQ(text::atol32("x12"), 0);
    EXPECT_EQ(text::atol32(""), 0);
    EXPECT_EQ(text::atol32("99999999999999999999"), 2147483647);
    EXPECT_EQ(text::atol32("-99999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(text::atoul32("-5"), 0u);
    EXPECT_EQ(text::atoul32("4294967296"), 4294967295u);
}

TEST(Printable, ControlBytesFromMailCannotForgeALogLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"Hello, world", "Hello, world"},
        {"caf\xc3\xa9 \xe2\x80\x9cquoted\xe2\x80\x9d \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe2\x80\x9cquoted\xe2\x80\x9d \xf0\x9f\x98\x80"},
        {"Latin-1 caf\xe9", "Latin-1 caf\xe9"},
        {"ok\rSubscribe successful.\n", "ok\\rSubscribe successful.\\n"},
        {"\x1b[2K\x1b[1A    FAILURE", "\\x1B[2K\\x1B[1A    FAILURE"},
        {std::string("a\0b\x7f\t", 5), "a\\x00b\\x7F\\t"},
        {"C1 \xc2\x9b" "2K and raw \x9b" "2K", "C1 \\xC2\\x9B2K and raw \\x9B2K"},
        {"cut \xe2\x9b" "2K", "cut \xe2\\x9B2K"},  // no whole sequence: its tail is no character
        {"a\\x1B is text", "a\\\\x1B is text"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(text::printable(in), out) << in;
    // Cut short, never inside a character.
    EXPECT_EQ(text::printable("ab\xc3\xa9z", 3), "ab...");
    EXPECT_EQ(text::printable("ab\xc3\xa9", 4), "ab\xc3\xa9");
}

// The five bytes the code page leaves undefined read as U+FFFD and are never
// written for a C1 control; their neighbours are defined.
TEST(TextRules, Windows1252LeavesItsFiveGapsUndefined) {
    const struct {
        unsigned char byte;
        char32_t codePoint;
    } cases[] = {
        {0x80, 0x20AC}, {0x81, 0xFFFD}, {0x82, 0x201A}, {0x8C, 0x0152}, {0x8D, 0xFFFD}, {0x8E, 0x017D},
        {0x8F, 0xFFFD}, {0x90, 0xFFFD}, {0x91, 0x2018}, {0x9C, 0x0153}, {0x9D, 0xFFFD}, {0x9E, 0x017E},
        {0x9F, 0x0178}, {0x41, 0x41},   {0xA0, 0xA0},   {0xFF, 0xFF},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::windows1252ToUnicode(c.byte), c.codePoint) << int(c.byte);
        if (c.codePoint != 0xFFFD) {
            EXPECT_EQ(text::unicodeToWindows1252(c.codePoint), c.byte) << int(c.byte);
        }
    }
    for (const char32_t control : {0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xFFFD, 0x100})
        EXPECT_EQ(text::unicodeToWindows1252(control), -1) << int(control);
}
