// Decoding message files in place: the rewritten message, the
// decoded files byte for byte and the printed lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AttachmentDecoder.h"
#include "MimeFixtures.h"
#include "tests/TempDir.h"

using namespace fixtures;

namespace {

const std::string kHeader =
    "From: Ann <ann@example.org>\r\n"
    "To: list@example.org\r\n"
    "Subject: submit report\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed;\r\n"
    "\tboundary=\"=_outer\"\r\n"
    "\r\n";
const std::string kRewrittenHeader =
    "From: Ann <ann@example.org>\r\n"
    "To: list@example.org\r\n"
    "Subject: submit report\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "\r\n";

std::string part(const std::string& headers, const std::string& body) {
    return "--=_outer\r\n" + headers + "\r\n" + body;
}

class AttachmentDecoderTest : public ::testing::Test {
protected:
    // Decodes the message (its lines dot-stuffed as a POP3 server sends them)
    // and returns the printed lines.
    std::string decode(const std::string& body, bool withEndLine = true, int32_t* result = nullptr) {
        original = dotStuffed(kHeader + body) + (withEndLine ? ".\r\n" : "");
        dir.write("m.NEW", original);
        testing::internal::CaptureStdout();
        const int32_t r = mime::decodeAttachments(path().c_str());
        std::string out = testing::internal::GetCapturedStdout();
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, 0);
        EXPECT_FALSE(exists(dir.file("~Attach~.TMP")));
        EXPECT_FALSE(exists(attachment("~Attach~.TMP")));
        return out;
    }
    std::string path() const { return dir.file("m.NEW"); }
    std::string attachment(const std::string& name) const { return dir.file("m/" + name); }
    std::string message() const { return readFile(path()); }

    TempDir dir;
    std::string original;
};

// A part of the message under test, and what its file must hold.
struct NamedPart {
    std::string headers;
    std::string body;
    std::string file;
    std::string content;
};

TEST_F(AttachmentDecoderTest, TextAttachmentAndHtmlWithClosingDelimiterBeforeTheEndLine) {
    const std::string pdf = randomBytes(10000, 1);
    const std::string printed = decode(part("Content-Type: text/plain; charset=utf-8\r\n", "Hello list,\r\n.dot line\r\n\r\n") +
                                       part("Content-Type: application/pdf; name=\"report.pdf\"; x=\"y\"\r\n"
                                            "Content-Transfer-Encoding: base64\r\n",
                                            base64Lines(pdf)) +
                                       part("Content-Type: text/html\r\n", "<html><body>Hi</body></html>\r\n") +
                                       "--=_outer--\r\n");
    EXPECT_EQ(message(), kRewrittenHeader + "Hello list,\r\n..dot line\r\n\r\n");
    EXPECT_EQ(readFile(attachment("report.pdf")), pdf);
    EXPECT_EQ(readFile(attachment("Attach00.HTM")), "<html><body>Hi</body></html>");
    EXPECT_EQ(printed, "      Decoded report.pdf\n");
}

TEST_F(AttachmentDecoderTest, MessageThatIsNotMultipartStaysUntouched) {
    const std::string plain = "Subject: s\r\nContent-Type: text/plain\r\n\r\nbody\r\n.\r\n";
    dir.write("m.NEW", plain);
    EXPECT_EQ(mime::decodeAttachments(path().c_str()), 0);
    EXPECT_EQ(message(), plain);
    EXPECT_FALSE(exists(dir.file("m")));
    EXPECT_EQ(mime::decodeAttachments(dir.file("none.NEW").c_str()), -23);
    EXPECT_EQ(mime::decodeAttachments(nullptr), -21);
}

TEST_F(AttachmentDecoderTest, NestedAlternativeWithPdfAndBase64Text) {
    const std::string pdf = randomBytes(3000, 2);
    decode(part("Content-Type: multipart/alternative; boundary=\"=_outer_alt\"\r\n",
                "--=_outer_alt\r\n"
                "Content-Type: text/plain; charset=utf-8\r\n"
                "Content-Transfer-Encoding: base64\r\n\r\n" +
                    base64Lines("First line\n.starts with a dot\nlast") +
                    "--=_outer_alt\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n"
                    "--=_outer_alt--\r\n") +
           part("Content-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment; filename=\"a.pdf\"; size=3000\r\n",
                base64Lines(pdf)) +
           "--=_outer--\r\n");
    EXPECT_EQ(message(), kRewrittenHeader + "First line\r\n..starts with a dot\r\nlast\r\n");
    EXPECT_EQ(readFile(attachment("Attach00.HTM")), "<p>x</p>");
    EXPECT_EQ(readFile(attachment("a.pdf")), pdf);
}

TEST_F(AttachmentDecoderTest, UuencodedPartIncludingADotStuffedLine) {
    // 59 bytes: the last line holds 14 bytes, so it begins with "." and is stuffed.
    const std::string data = randomBytes(59, 3);
    const std::string printed = decode(part("Content-Type: application/octet-stream; name=\"d.bin\"\r\n"
                                            "Content-Transfer-Encoding: x-uuencode\r\n",
                                            "begin 644 d.bin\r\n" + uuLines(data) + "end\r\n") +
                                       "--=_outer--\r\n");
    EXPECT_EQ(readFile(attachment("d.bin")), data);
    EXPECT_EQ(printed, "      Decoded d.bin\n");
    EXPECT_EQ(message(), kRewrittenHeader);
}

TEST_F(AttachmentDecoderTest, NamesNeverLeaveTheAttachmentFolder) {
    const std::string a = randomBytes(100, 4), b = randomBytes(50, 5);
    const std::string printed =
        decode(part("Content-Type: application/octet-stream; name=\"../../evil.bin\"\r\n"
                    "Content-Transfer-Encoding: base64\r\n",
                    base64Lines(a)) +
               part("Content-Type: application/octet-stream; name=\"C:\\dir\\..\"\r\n"
                    "Content-Transfer-Encoding: base64\r\n",
                    base64Lines(a)) +
               part("Content-Type: application/octet-stream; name=\"u.bin\"\r\n"
                    "Content-Transfer-Encoding: uuencode\r\n",
                    "begin 600 ../../../x\r\n" + uuLines(b) + "end\r\n") +
               part("Content-Type: text/html; name=\"a|b\x01<c>.htm\"\r\n", "<b>x</b>\r\n") +
               part("Content-Type: text/html; name=\"..\"\r\n", "<i>y</i>\r\n") + "--=_outer--\r\n");
    EXPECT_EQ(readFile(attachment("evil.bin")), a);
    EXPECT_EQ(readFile(attachment("x")), b);
    EXPECT_EQ(readFile(attachment("a_b__c_.htm")), "<b>x</b>");
    EXPECT_EQ(readFile(attachment("Attach00.HTM")), "<i>y</i>");
    // A name that reduces to nothing gets a generated one: the content is kept.
    EXPECT_EQ(readFile(attachment("Attach00.BIN")), a);
    EXPECT_EQ(printed, "      Decoded evil.bin\n      Decoded " + attachment("Attach00.BIN") + "\n      Decoded u.bin\n");
    std::size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 6u);  // the message and the five decoded parts, nothing anywhere else
}

TEST_F(AttachmentDecoderTest, NumberedNamesNeverReplaceExistingFiles) {
    dir.mkdir("m");
    dir.write("m/Attach00.HTM", "older");
    decode(part("Content-Type: text/html\r\n", "<p>1</p>\r\n") +
           part("Content-Type: text/html\r\nContent-Transfer-Encoding: base64\r\n", base64Lines("<p>2</p>")) +
           "--=_outer--\r\n");
    EXPECT_EQ(readFile(attachment("Attach00.HTM")), "older");
    EXPECT_EQ(readFile(attachment("Attach01.HTM")), "<p>1</p>");
    EXPECT_EQ(readFile(attachment("Attach02.HTM")), "<p>2</p>");
}

TEST_F(AttachmentDecoderTest, FailedDecodesLeaveNoFileAndGoOn) {
    const std::string ok = randomBytes(200, 6);
    const std::string printed = decode(
        part("Content-Type: image/png; name=\"bad.png\"\r\nContent-Transfer-Encoding: base64\r\n",
             base64Lines(randomBytes(300, 7)) + "not*base64\r\n") +
        part("Content-Type: application/zip; name=\"cut.zip\"\r\nContent-Transfer-Encoding: uuencode\r\n",
             "begin 644 cut.zip\r\n" + uuLines(ok).substr(0, 63)) +
        part("Content-Type: application/zip; name=\"" + std::string(256, 'n') +
                 "\"\r\nContent-Transfer-Encoding: base64\r\n",
             base64Lines(ok)) +
        part("Content-Type: application/octet-stream\r\n", "dropped silently\r\n") +
        part("Content-Type: text/plain\r\n", "still here\r\n") + "--=_outer--\r\n");
    // A name too long for a file is printed cut short.
    EXPECT_EQ(printed, "      Unable to decode bad.png\n      Unable to decode cut.zip\n      Unable to decode " +
                           std::string(200, 'n') + "...\n");
    EXPECT_FALSE(exists(attachment("bad.png")));
    EXPECT_FALSE(exists(attachment("cut.zip")));
    EXPECT_EQ(message(), kRewrittenHeader + "still here\r\n");
}

TEST_F(AttachmentDecoderTest, MessageWithoutEndLineKeepsItsFileButDecodesParts) {
    const std::string data = randomBytes(500, 8);
    decode(part("Content-Type: text/plain\r\n", "text\r\n") +
               part("Content-Type: application/octet-stream; name=\"x.bin\"\r\n"
                    "Content-Transfer-Encoding: base64\r\n",
                    base64Lines(data)) +
               "--=_outer--\r\n",
           false);
    EXPECT_EQ(message(), original);
    EXPECT_EQ(readFile(attachment("x.bin")), data);
}

TEST_F(AttachmentDecoderTest, EndLineWithoutClosingDelimiterStillRewrites) {
    const std::string data = randomBytes(64, 9);
    decode(part("Content-Type: text/plain\r\n", "text\r\n") +
           part("Content-Type: application/octet-stream; name=\"y.bin\"\r\nContent-Transfer-Encoding: base64\r\n",
                base64Lines(data)));
    EXPECT_EQ(message(), kRewrittenHeader + "text\r\n");
    EXPECT_EQ(readFile(attachment("y.bin")), data);
}

TEST_F(AttachmentDecoderTest, BoundaryFillingItsWholeArray) {
    const std::string boundary(9000, 'b');
    const std::string text = "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary +
                             "\r\nContent-Type: text/plain\r\n\r\nlong boundary\r\n--" + boundary + "--\r\n.\r\n";
    dir.write("m.NEW", text);
    ASSERT_EQ(mime::decodeAttachments(path().c_str()), 0);
    EXPECT_EQ(message(), "Content-Type: text/plain; charset=utf-8\r\n\r\nlong boundary\r\n");
}

TEST_F(AttachmentDecoderTest, UnquotedBoundaryIsMultipart) {
    const std::string text = "Content-Type: multipart/mixed; boundary=xyz\r\n\r\n--xyz\r\n"
                             "Content-Type: text/html\r\n\r\n<p/>\r\n--xyz--\r\n.\r\n";
    dir.write("m.NEW", text);
    ASSERT_EQ(mime::decodeAttachments(path().c_str()), 0);
    EXPECT_EQ(message(), "Content-Type: text/plain; charset=utf-8\r\n\r\n");
    EXPECT_EQ(readFile(attachment("Attach00.HTM")), "<p/>");
}

}  // namespace

namespace {

TEST_F(AttachmentDecoderTest, PartsKeepTheirContentUnderTheNameTheyGive) {
    const std::string photo = randomBytes(300, 12);
    const NamedPart cases[] = {
        {"Content-Type: image/png; name=\"image.png\"\r\nContent-Transfer-Encoding: base64\r\n", base64Lines(photo),
         "image.png", photo},
        {"Content-Type: image/png\r\nContent-Disposition: attachment; filename=image.png\r\n"
         "Content-Transfer-Encoding: base64\r\n",
         base64Lines(photo + "2"), "image (2).png", photo + "2"},
        {"Content-Type: application/pdf; name=\"type.pdf\"\r\nContent-Disposition: attachment;\r\n"
         " filename*0*=utf-8''%C3%BCber; filename*1=\".pdf\"\r\nContent-Transfer-Encoding: base64\r\n",
         base64Lines(photo), "\xC3\xBC" "ber.pdf", photo},
        {"Content-Type: message/rfc822; name=\"Fwd: minutes\"\r\n", "Subject: inner\r\n\r\n.dot\r\n",
         "minutes.eml", "Subject: inner\r\n\r\n.dot"},
        {"Content-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\n", base64Lines(photo), "Attach00.JPG",
         photo},
        {"Content-Type: text/csv; name==?UTF-8?Q?Liste_=C3=A4.csv?=\r\nContent-Transfer-Encoding: quoted-printable\r\n",
         "a;b=\r\n;c\r\n=E4\r\n", "Liste \xC3\xA4.csv", "a;b;c\r\n\xE4"},
        {"Content-Type: text/csv; name=\"lf.csv\"\r\nContent-Transfer-Encoding: quoted-printable\r\n",
         "a=0A=\r\nb\r\n", "lf.csv", "a\nb"},
        // Uuencoded parts of one name no longer replace each other.
        {"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: x-uuencode\r\n",
         "begin 644 d.bin\r\n" + uuLines(photo) + "end\r\n", "d.bin", photo},
        {"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: x-uuencode\r\n",
         "begin 644 d.bin\r\n" + uuLines("second") + "end\r\n", "d (2).bin", "second"},
        // A last group without its padding keeps its byte, as common decoders read it.
        {"Content-Type: application/octet-stream; name=\"short.bin\"\r\nContent-Transfer-Encoding: base64\r\n",
         "AAAAAA\r\n", "short.bin", std::string(4, '\0')},
    };
    std::string body;
    for (const auto& c : cases) body += part(c.headers, c.body);
    decode(body + "--=_outer--\r\n");
    for (const auto& c : cases) EXPECT_EQ(readFile(attachment(c.file)), c.content) << c.file;
}

}  // namespace

namespace {

// Quoted-printable on one line of any length: every "=", every non-ASCII
// byte and the blanks of the data encoded, no soft breaks.
std::string qpOneLine(const std::string& data) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : data) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '=' || c >= 0x80) {
            out += '=';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

// Lines far longer than the read buffer and parts of many megabytes: what
// reaches the file is what was sent, wherever a piece of a line ends.
TEST_F(AttachmentDecoderTest, LongLinesAndLargePartsComeOutByteForByte) {
    const std::string big = randomBytes(3 * 1000 * 1000 + 1, 21);
    const std::string oneLine = randomBytes(1000 * 1000 + 2, 22);
    std::string text;  // escapes, blanks and "=" fall on every offset of a piece
    for (int i = 0; text.size() < 700 * 1000; ++i) text += "Stra\xC3\x9F" "e  = " + std::to_string(i) + "\t";
    text += "end";
    const std::string longText = "first\r\n" + std::string(600 * 1000, 'x') + "\r\n." + std::string(300 * 1000, 'y');
    auto withoutBreaks = [](std::string s) {
        std::erase(s, '\r');
        std::erase(s, '\n');
        return s;
    };
    const NamedPart cases[] = {
        {"Content-Type: application/pdf; name=\"lines.pdf\"\r\nContent-Transfer-Encoding: base64\r\n",
         base64Lines(big), "lines.pdf", big},
        {"Content-Type: application/pdf; name=\"one.pdf\"\r\nContent-Transfer-Encoding: base64\r\n",
         withoutBreaks(base64Lines(oneLine)) + "\r\n", "one.pdf", oneLine},
        {"Content-Type: text/plain; name=\"one.txt\"\r\nContent-Disposition: attachment\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n",
         qpOneLine(text) + "\r\n", "one.txt", text},
        {"Content-Type: text/csv; name=\"long.csv\"\r\n", longText + "\r\n", "long.csv", longText},
        {"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: x-uuencode\r\n",
         "begin 644 big.bin\r\n" + uuLines(big) + "end\r\n", "big.bin", big},
    };
    std::string body = part("Content-Type: text/plain\r\n", "Hello list,\r\n" + std::string(400 * 1000, 'z') + "\r\n");
    for (const auto& c : cases) body += part(c.headers, c.body);
    decode(body + "--=_outer--\r\n");
    for (const auto& c : cases) {
        const std::string got = readFile(attachment(c.file));
        EXPECT_EQ(got.size(), c.content.size()) << c.file;
        EXPECT_TRUE(got == c.content) << c.file;
    }
    EXPECT_EQ(message(), kRewrittenHeader + "Hello list,\r\n" + std::string(400 * 1000, 'z') + "\r\n");
}

// The work file's name taken by a folder: a message that must change keeps
// its form and says so; one that needs nothing never missed the work file.
TEST_F(AttachmentDecoderTest, RewriteFileThatCannotBeCreated) {
    const struct {
        std::string message;
        int32_t result;
    } cases[] = {
        {kHeader + part("Content-Type: text/plain\r\n", "text\r\n") + "--=_outer--\r\n.\r\n", -25},
        {"Subject: plain\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\ndGV4dA==\r\n.\r\n",
         -25},
        {"Subject: plain\r\nContent-Type: text/plain\r\n\r\ntext\r\n" + std::string(600 * 1000, 'a') + "\r\n.\r\n", 0},
    };
    std::filesystem::create_directory(dir.file("~Attach~.TMP"));
    for (const auto& c : cases) {
        dir.write("m.NEW", c.message);
        testing::internal::CaptureStdout();
        const int32_t r = mime::decodeAttachments(path().c_str());
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(r, c.result) << c.message.substr(0, 40);
        EXPECT_TRUE(message() == c.message) << c.message.substr(0, 40);
    }
}

}  // namespace

namespace {

std::string repeated(const std::string& unit, std::size_t times) {
    std::string out;
    out.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += unit;
    return out;
}

// Shapes a sender can make to keep the engine busy: work stays in proportion
// to the message (each once took minutes), and beyond the part limit the
// message is refused whole.
TEST_F(AttachmentDecoderTest, HostileShapesAreDecodedOrRefusedWhole) {
    const std::string unterminated = repeated("=?a?b?x", 4 * 1000 * 1000 / 7);
    // Each word ends at the last "?=", and none is base64.
    const std::string undecodable = repeated("=?a?b?*", 4 * 1000 * 1000 / 7) + "?=";
    const std::string named = "Content-Type: application/octet-stream; name=\"same.txt\"\r\n"
                              "Content-Transfer-Encoding: base64\r\n";
    const std::string unnamed = "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n";
    const std::string text = "Content-Type: text/plain\r\n";
    const struct {
        std::string body;
        int32_t result;
        std::string lastFile;  // "" when no file is kept
        std::size_t files;
        bool unable;  // parts reported as not decodable
    } cases[] = {
        {part("Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"" + unterminated +
                  "\"\r\nContent-Transfer-Encoding: base64\r\n",
              "AAAA\r\n") +
             part("Content-Type: application/pdf; name=\"" + unterminated + ".pdf\"\r\n", "x\r\n") +
             part("Content-Type: application/pdf; name=\"" + undecodable + "\"\r\n", "x\r\n"),
         0, "", 0, true},
        // The 10,000th part of one name was lost: its name was looked for
        // from "(2)" on each time, and that search ended at 9,999.
        {repeated(part(named, "AAAA\r\n"), 10000), 0, "same (10000).txt", 10000, false},
        {repeated(part(unnamed, "AAAA\r\n"), 3) + repeated(part(text, "t\r\n"), 9997), 0, "Attach02.BIN", 3, false},
        {repeated(part(unnamed, "AAAA\r\n"), 3) + repeated(part(text, "t\r\n"), 9997) + part(text, "one too many\r\n"),
         -31, "", 0, false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir.file("m"));
        int32_t result = 0;
        const std::string printed = decode(c.body + "--=_outer--\r\n", true, &result);
        EXPECT_EQ(result, c.result) << c.lastFile;
        EXPECT_EQ(printed.find("Unable to decode") != std::string::npos, c.unable) << c.lastFile;
        // A 4 MB name must not become a 4 MB line of the log.
        if (c.unable) {
            EXPECT_LT(printed.size(), 1000u);
        }
        if (c.result != 0) {
            EXPECT_TRUE(message() == original);
        } else if (c.unable || c.files == 10000) {
            EXPECT_EQ(message(), kRewrittenHeader);
        }
        if (!c.lastFile.empty()) {
            EXPECT_EQ(readFile(attachment(c.lastFile)), std::string(3, '\0'));
        }
        std::size_t files = 0;
        if (exists(dir.file("m")))
            for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.file("m"))) ++files;
        EXPECT_EQ(files, c.files) << c.lastFile;
    }
}

}  // namespace
