// The streaming decoders on their own: padding, line ends, short lines.
#include <gtest/gtest.h>

#include "Base64Decoder.h"
#include "MimeFixtures.h"
#include "UuDecoder.h"
#include "tests/TempDir.h"

using namespace fixtures;
using mime::Base64Decoder;

namespace {

// The whole text through the streaming decoder in pieces of `step` bytes, as
// the decoder meets it in a message; the end taken as the end of the part.
std::string decodeText(const std::string& text, Base64Decoder::Status expected = Base64Decoder::Status::Finished,
                       std::size_t step = 7) {
    Base64Decoder d;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += step) {
        const std::string_view piece = std::string_view(text).substr(i, step);
        std::string bytes(Base64Decoder::maxOutput(piece.size()), '\0');
        std::size_t n = 0;
        d.feed(piece.data(), piece.size(), reinterpret_cast<unsigned char*>(bytes.data()), n);
        out.append(bytes, 0, n);
    }
    unsigned char last[2];
    out.append(reinterpret_cast<const char*>(last), d.finish(last));
    EXPECT_EQ(d.status(), expected) << text;
    return out;
}

TEST(Base64DecoderTest, PaddingLineEndsAndPartialGroups) {
    using S = Base64Decoder::Status;
    const struct {
        std::string text;
        std::string bytes;
        S status = S::Finished;
    } cases[] = {
        {"TWFu", "Man"},
        {"TW\r\nE=\r\n", "Ma"},
        {"TQ==ignored after padding", "M"},
        {"", ""},
        {"TWFu TWFu", "Man", S::Invalid},
        // A last group without its padding is read as common decoders read it.
        {"AAAAAA", std::string(4, '\0')},
        {"TWFuTW", "ManM"},
        {"TWFuTWE", "ManMa"},
        {"TWE\r\n", "Ma"},
        {"TWE=", "Ma"},
        {"TQ=", "M"},
        {"TWFuT", "Man"},  // six bits make no byte
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeText(c.text, c.status), c.bytes) << c.text;
        EXPECT_EQ(decodeText(c.text, c.status, 1), c.bytes) << c.text;
    }
}

TEST(Base64DecoderTest, LargeInputAcrossPieces) {
    const std::string data = randomBytes(3 * 1024 * 1024 + 7, 11);
    EXPECT_EQ(decodeText(base64Lines(data), Base64Decoder::Status::Finished, 1024 * 1024 + 3), data);
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
