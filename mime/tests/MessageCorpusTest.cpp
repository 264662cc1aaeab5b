// The message corpus (tests/corpus, written by make_corpus.py): messages
// shaped like common clients send them, decoded and compared byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "AttachmentDecoder.h"
#include "HeaderParser.h"
#include "MimeFixtures.h"
#include "tests/TempDir.h"

using namespace fixtures;

namespace {

// The attachment contents make_corpus.py writes.
std::string pdf(std::size_t n) {
    std::string s = "%PDF-1.4\n";
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>((i * 7) % 256);
    return s;
}
std::string png(std::size_t n) {
    std::string s = "\x89PNG\r\n\x1a\n";
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>((i * 13) % 256);
    return s;
}

class MessageCorpusTest : public ::testing::Test {
protected:
    std::string decode(const std::string& corpusName) {
        original = readFile(std::string(RINGPOST_SOURCE_DIR) + "mime/tests/corpus/" + corpusName);
        EXPECT_FALSE(original.empty()) << corpusName;
        dir.write("m.NEW", original);
        testing::internal::CaptureStdout();
        EXPECT_EQ(mime::decodeAttachments(dir.file("m.NEW").c_str()), 0);
        return testing::internal::GetCapturedStdout();
    }
    std::string message() const { return readFile(dir.file("m.NEW")); }
    std::string attachment(const std::string& name) const { return readFile(dir.file("m/" + name)); }

    TempDir dir;
    std::string original;
};

const std::string kClientHeader =
    "From: Ann Example <ann@example.org>\r\n"
    "To: list@example.org\r\n";
const std::string kClientDate = "Date: Tue, 01 Dec 2026 10:00:00 +0000\r\n";
const std::string kPlain = "Content-Type: text/plain; charset=utf-8\r\n";

TEST_F(MessageCorpusTest, ClientAlternativeKeepsTheTextAndFilesTheHtml) {
    EXPECT_EQ(decode("alternative.eml"), "      Decoded " + dir.file("m/Attach00.HTM") + "\n");
    EXPECT_EQ(message(), kPlain + "MIME-Version: 1.0\r\n" + kClientHeader + "Subject: submit client mail\r\n" +
                             kClientDate + "\r\nHello list,\r\n..a line with a dot\r\nregards\r\n");
    EXPECT_EQ(attachment("Attach00.HTM"), "<html><body><p>Hello list,</p></body></html>\n");
}

TEST_F(MessageCorpusTest, MixedWithPdfAndImage) {
    EXPECT_EQ(decode("mixed-pdf-image.eml"), "      Decoded report.pdf\n      Decoded photo.png\n");
    EXPECT_EQ(message(), kPlain + "MIME-Version: 1.0\r\n" + kClientHeader + "Subject: submit with files\r\n" +
                             kClientDate + "\r\nSee the files.\r\n\r\n");
    EXPECT_EQ(attachment("report.pdf"), pdf(5000));
    EXPECT_EQ(attachment("photo.png"), png(3000));
}

TEST_F(MessageCorpusTest, NestedAlternativeAndPdfWithAWindowsPath) {
    EXPECT_EQ(decode("nested.eml"), "      Decoded " + dir.file("m/Attach00.HTM") + "\n      Decoded nested.pdf\n");
    EXPECT_EQ(message(), kPlain + "MIME-Version: 1.0\r\n" + kClientHeader + "Subject: submit nested\r\n" +
                             kClientDate + "\r\nNested text\r\n");
    EXPECT_EQ(attachment("Attach00.HTM"), "<html><body>Nested</body></html>\n");
    EXPECT_EQ(attachment("nested.pdf"), pdf(2000));
}

TEST_F(MessageCorpusTest, UuencodedAttachment) {
    EXPECT_EQ(decode("uuencoded.eml"), "      Decoded old.pdf\n");
    EXPECT_EQ(attachment("old.pdf"), pdf(100));
    EXPECT_EQ(message(), "From: bob@example.org\r\nTo: list@example.org\r\nSubject: submit uu\r\n" + kPlain +
                             "\r\nold style\r\n");
}

TEST_F(MessageCorpusTest, MultipartLinesOfAnyShapeAreTakenApart) {
    const struct {
        const char* file;
        const char* rewritten;
    } cases[] = {
        {"folded-lowercase.eml",
         "received: from a by b\r\nfrom: carol@example.org\r\nto: list@example.org\r\n"
         "subject: submit a long folded subject\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nbody\r\n"},
        {"unquoted-boundary.eml",
         "From: dave@example.org\r\nSubject: submit\r\nContent-Type: text/plain; charset=utf-8\r\n\r\ntext\r\n"},
    };
    for (const auto& c : cases) {
        decode(c.file);
        EXPECT_EQ(message(), c.rewritten) << c.file;
    }
}

TEST_F(MessageCorpusTest, FoldedLowerCaseHeaders) {
    decode("folded-lowercase.eml");
    char subject[64], from[64], header[128];
    uint32_t subjectSize = sizeof subject, fromSize = sizeof from, headerSize = sizeof header;
    int32_t multipart = -1;
    ASSERT_EQ(mime::readMessageHeader(dir.file("m.NEW").c_str(), nullptr, nullptr, nullptr, nullptr, from,
                                      &fromSize, nullptr, nullptr, subject, &subjectSize, nullptr, nullptr, header,
                                      &headerSize, &multipart, nullptr, nullptr),
              0);
    EXPECT_EQ(std::string(subject, subjectSize), "submit a long folded subject");
    EXPECT_EQ(std::string(from, fromSize), "carol@example.org");
    EXPECT_EQ(std::string(header, headerSize),
              "received: from a by b\nto: list@example.org\nContent-Type: text/plain; charset=utf-8");
    EXPECT_EQ(multipart, 0);  // taken apart already: two spaces behind the colon are blanks like any other
}

TEST_F(MessageCorpusTest, MessageWithoutEndLineIsKeptButItsFilesDecoded) {
    EXPECT_EQ(decode("no-end-line.eml"), "      Decoded late.pdf\n");
    EXPECT_EQ(message(), original);
    EXPECT_EQ(attachment("late.pdf"), pdf(700));
}

}  // namespace
