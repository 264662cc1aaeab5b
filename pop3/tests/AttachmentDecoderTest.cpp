// KOVAPOP3_DecodeAttachments on message files: the rewritten message, the
// decoded files byte for byte and the printed lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "KOVAPOP3.h"
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
        const int32_t r = KOVAPOP3_DecodeAttachments(path().c_str(), 0);
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
    EXPECT_EQ(KOVAPOP3_DecodeAttachments(path().c_str(), 0), 0);
    EXPECT_EQ(message(), plain);
    EXPECT_FALSE(exists(dir.file("m")));
    EXPECT_EQ(KOVAPOP3_DecodeAttachments(dir.file("none.NEW").c_str(), 0), -23);
    EXPECT_EQ(KOVAPOP3_DecodeAttachments(nullptr, 0), -21);
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
    EXPECT_EQ(printed, "      Unable to decode bad.png\n      Unable to decode cut.zip\n      Unable to decode " +
                           std::string(256, 'n') + "\n");
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
    ASSERT_EQ(KOVAPOP3_DecodeAttachments(path().c_str(), 0), 0);
    EXPECT_EQ(message(), "Content-Type: text/plain; charset=utf-8\r\n\r\nlong boundary\r\n");
}

TEST_F(AttachmentDecoderTest, UnquotedBoundaryIsMultipart) {
    const std::string text = "Content-Type: multipart/mixed; boundary=xyz\r\n\r\n--xyz\r\n"
                             "Content-Type: text/html\r\n\r\n<p/>\r\n--xyz--\r\n.\r\n";
    dir.write("m.NEW", text);
    ASSERT_EQ(KOVAPOP3_DecodeAttachments(path().c_str(), 0), 0);
    EXPECT_EQ(message(), "Content-Type: text/plain; charset=utf-8\r\n\r\n");
    EXPECT_EQ(readFile(attachment("Attach00.HTM")), "<p/>");
}

}  // namespace

namespace {

TEST_F(AttachmentDecoderTest, PartsKeepTheirContentUnderTheNameTheyGive) {
    const std::string photo = randomBytes(300, 12);
    const struct {
        std::string headers;
        std::string body;
        std::string file;
        std::string content;
    } cases[] = {
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
    };
    std::string body;
    for (const auto& c : cases) body += part(c.headers, c.body);
    decode(body + "--=_outer--\r\n");
    for (const auto& c : cases) EXPECT_EQ(readFile(attachment(c.file)), c.content) << c.file;
}

}  // namespace
