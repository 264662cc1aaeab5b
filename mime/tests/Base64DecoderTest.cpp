// The streaming decoders on their own: padding, line ends, short lines.
#include <gtest/gtest.h>

#include "Base64Decoder.h"
#include "MimeFixtures.h"
#include "UuDecoder.h"
#include "tests/TempDir.h"

using namespace fixtures;

namespace {

std::string decodeText(TempDir& dir, const std::string& text, int32_t expected = 0) {
    dir.write("in.TMP", text);
    EXPECT_EQ(mime::DecodeBase64File(dir.file("in.TMP").c_str(), dir.file("out").c_str()), expected);
    return readFile(dir.file("out"));
}

TEST(Base64DecoderTest, PaddingLineEndsAndPartialGroups) {
    TempDir dir;
    EXPECT_EQ(decodeText(dir, "TWFu"), "Man");
    EXPECT_EQ(decodeText(dir, "TW\r\nE=\r\n"), "Ma");
    EXPECT_EQ(decodeText(dir, "TQ==ignored after padding"), "M");
    EXPECT_EQ(decodeText(dir, "TWFuTW"), "Man");  // a partial last group is ignored
    EXPECT_EQ(decodeText(dir, ""), "");
    decodeText(dir, "TWFu TWFu", -30);
    EXPECT_FALSE(exists(dir.file("out")));
    EXPECT_EQ(mime::DecodeBase64File(dir.file("missing").c_str(), dir.file("out").c_str()), -23);
    EXPECT_EQ(mime::DecodeBase64File(nullptr, "x"), -21);
}

TEST(Base64DecoderTest, LargeInputAcrossReadChunks) {
    TempDir dir;
    const std::string data = randomBytes(3 * 1024 * 1024 + 7, 11);
    EXPECT_EQ(decodeText(dir, base64Lines(data)), data);
}

TEST(UuDecoderTest, ShortLinesReadAsZeroAndNothingPastTheLine) {
    TempDir dir;
    // "#" promises 3 bytes but the line carries only two characters.
    dir.write("in.TMP", "junk\r\nbegin 644 short.bin\r\n#0V\r\n`\r\nend\r\n");
    std::string name;
    ASSERT_EQ(mime::DecodeUuFile(dir.path().c_str(), dir.file("in.TMP").c_str(), &name), 0);
    EXPECT_EQ(name, "short.bin");
    EXPECT_EQ(readFile(dir.file("short.bin")), std::string("\x43\x60\x00", 3) /* "0V" then zero bits */);

    dir.write("in.TMP", "begin 644 ..\r\n`\r\nend\r\n");
    EXPECT_EQ(mime::DecodeUuFile(dir.path().c_str(), dir.file("in.TMP").c_str()), -30);
    dir.write("in.TMP", "no begin line\r\n");
    EXPECT_EQ(mime::DecodeUuFile(dir.path().c_str(), dir.file("in.TMP").c_str()), -30);
    // Data closed by "end" without the zero-length line.
    const std::string data = randomBytes(90, 12);
    std::string lines = uuLines(data);
    lines.resize(lines.size() - 3);
    dir.write("in.TMP", "begin 644 e.bin\r\n" + lines + "end\r\n");
    ASSERT_EQ(mime::DecodeUuFile(dir.path().c_str(), dir.file("in.TMP").c_str()), 0);
    EXPECT_EQ(readFile(dir.file("e.bin")), data);
}

}  // namespace
