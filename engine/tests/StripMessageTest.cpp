// StripMessage on spool files in a temporary list directory: what the spool
// file holds afterwards, what the attachment folder holds, what is printed.
#include "engine/StripMessage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/HtmlRemover.h"
#include "engine/SpoolCleanup.h"
#include "mime/tests/MimeFixtures.h"
#include "tests/FileSizeLimit.h"
#include "tests/TempDir.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const std::string kMarker = std::string(kHtmlMarkerLine) + "\r\n";

std::string removeHtml(std::initializer_list<std::string_view> lines) {
    HtmlRemover r;
    std::string out;
    for (std::string_view l : lines) out += r.take(l, true);
    return out;
}

const std::string kPdf = fixtures::randomBytes(5000, 7);

// A client's usual layout: text and HTML as alternatives, a PDF beside them,
// and the closing delimiter followed directly by the "." line.
std::string mixedMessage() {
    return "From: Ann <ann@example.org>\r\n"
           "To: list@example.org\r\n"
           "Subject: submit report\r\n"
           "Content-Type: multipart/mixed; boundary=\"outer\"\r\n"
           "\r\n"
           "This is a multi-part message in MIME format.\r\n"
           "--outer\r\n"
           "Content-Type: multipart/alternative; boundary=\"alt\"\r\n"
           "\r\n"
           "--alt\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n"
           "\r\n"
           "Hello all,\r\n"
           "..a line the server stuffed\r\n"
           "--alt\r\n"
           "Content-Type: text/html; charset=us-ascii\r\n"
           "\r\n"
           "<html><body>Hello all</body></html>\r\n"
           "--alt--\r\n"
           "--outer\r\n"
           "Content-Type: application/pdf; name=\"report.pdf\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" +
           fixtures::base64Lines(kPdf) +
           "--outer--\r\n"
           ".\r\n";
}

const std::string kMixedText =
    "From: Ann <ann@example.org>\r\n"
    "To: list@example.org\r\n"
    "Subject: submit report\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "\r\n"
    "Hello all,\r\n"
    "..a line the server stuffed\r\n";

struct ListDir {
    TempDir dir;
    MailList list;
    ListDir(bool stripAttachments, bool stripHtml) {
        list.directory = dir.path() + "/";
        list.stripAttachments = stripAttachments;
        list.stripHTML = stripHtml;
    }
    std::string spool() const { return dir.file("m.NEW"); }
    std::string attachment(const std::string& name) const { return dir.file("m/" + name); }
    // Strips m.NEW holding `message`; returns what was printed.
    std::string strip(const std::string& message) {
        dir.write("m.NEW", message);
        CaptureStdout();
        StripMessage(list, spool());
        return GetCapturedStdout();
    }
    bool has(const std::string& name) const { return std::filesystem::exists(dir.file(name)); }
};

}  // namespace

TEST(HtmlRemover, DocumentsBecomeOneMarkerLine) {
    // Over several lines, tags in any case: only the marker stays.
    EXPECT_EQ(removeHtml({"before", "<html>", "<body>x</body>", "</HTML>", "after"}),
              "before\r\n" + kMarker + "after\r\n");
    // Text around a document on one line: each its own line, and the post
    // goes on after the document instead of vanishing with it.
    EXPECT_EQ(removeHtml({"See <HtMl><b>this</b></hTmL> and that", "next line"}),
              "See \r\n" + kMarker + " and that\r\nnext line\r\n");
    // Text after the closing tag that begins with '.' keeps a stuffed '.'.
    EXPECT_EQ(removeHtml({"<HTML>", "x", "</HTML>.dot"}), kMarker + "..dot\r\n");
    // A closing line with nothing after the tag writes nothing.
    EXPECT_EQ(removeHtml({"<HTML>", "</html>", ""}), kMarker + "\r\n");
    // A tag with attributes is no document; a lone closing tag is text.
    EXPECT_EQ(removeHtml({"<html lang=\"en\">", "</html>"}), "<html lang=\"en\">\r\n</html>\r\n");
    // Two documents on one line.
    EXPECT_EQ(removeHtml({"a<HTML>1</HTML>b<HTML>2</HTML>c"}), "a\r\n" + kMarker + "b\r\n" + kMarker + "c\r\n");
}

TEST(HtmlRemover, PiecesOfALongLineStayOneLine) {
    HtmlRemover r;
    std::string out = r.take("aaaa", false);
    out += r.take("bb", true);
    EXPECT_EQ(out, "aaaabb\r\n");
    // A tag at the very start of a continuing piece still gets its own line.
    out = r.take("text", false);
    out += r.take("<HTML>x", false);
    out += r.take("y</HTML>", false);
    out += r.take(".z", true);
    EXPECT_EQ(out, "text\r\n" + kMarker + "..z\r\n");
    EXPECT_FALSE(r.inHtml());
}

TEST(StripMessage, StrippingOnLeavesCleanTextWhenTheDotFollowsTheClosingDelimiter) {
    ListDir l(true, true);
    const std::string out = l.strip(mixedMessage());
    EXPECT_EQ(fixtures::readFile(l.spool()), kMixedText);
    EXPECT_FALSE(l.has("m"));
    EXPECT_FALSE(l.has("m.TMP"));
    EXPECT_EQ(ListAttachments(l.list, l.spool()), "");
    EXPECT_EQ(out, "    Stripping Attachments...\n"
                   "      Decoded report.pdf\n"
                   "    Deleting attachments...\n"
                   "      Removing " + AbbreviatePath(l.attachment("Attach00.HTM"), 64) + "\n"
                   "      Removing " + AbbreviatePath(l.attachment("report.pdf"), 64) + "\n"
                   "      Removed 2 attachments.\n"
                   "    Stripping HTML...\n");
}

TEST(StripMessage, StrippingOffKeepsTheAttachmentsForDistribution) {
    ListDir l(false, false);
    const std::string out = l.strip(mixedMessage());
    EXPECT_EQ(out, "    Processing Attachments...\n      Decoded report.pdf\n");
    // Decoding still happens: the spool holds the text, the folder the parts.
    EXPECT_EQ(fixtures::readFile(l.spool()), kMixedText);
    EXPECT_EQ(ListAttachments(l.list, l.spool()), l.attachment("Attach00.HTM") + "|" + l.attachment("report.pdf"));
    EXPECT_EQ(fixtures::readFile(l.attachment("report.pdf")), kPdf);
    EXPECT_EQ(fixtures::readFile(l.attachment("Attach00.HTM")), "<html><body>Hello all</body></html>");
}

TEST(StripMessage, HtmlStrippedAttachmentsKept) {
    ListDir l(false, true);
    const std::string out = l.strip(mixedMessage());
    EXPECT_EQ(out, "    Processing Attachments...\n      Decoded report.pdf\n    Stripping HTML...\n");
    EXPECT_EQ(fixtures::readFile(l.spool()), kMixedText);
    EXPECT_EQ(fixtures::readFile(l.attachment("report.pdf")), kPdf);
    EXPECT_TRUE(l.has("m/Attach00.HTM"));
}

TEST(StripMessage, UuencodedAttachmentStaysInItsFolder) {
    const std::string data = fixtures::randomBytes(1000, 3);
    const std::string message =
        "From: a@example.org\r\nTo: l@example.org\r\nSubject: submit\r\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n"
        "--b\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
        "Content-Transfer-Encoding: x-uuencode\r\n\r\n"
        "begin 644 ../../data.bin\r\n" +
        fixtures::uuLines(data) + "end\r\n--b--\r\n.\r\n";
    {
        ListDir l(false, true);
        const std::string out = l.strip(message);
        EXPECT_EQ(out, "    Processing Attachments...\n      Decoded data.bin\n    Stripping HTML...\n");
        EXPECT_EQ(fixtures::readFile(l.spool()),
                  "From: a@example.org\r\nTo: l@example.org\r\nSubject: submit\r\n"
                  "Content-Type: text/plain; charset=utf-8\r\n\r\nsee attached\r\n");
        EXPECT_EQ(ListAttachments(l.list, l.spool()), l.attachment("data.bin"));
        EXPECT_EQ(fixtures::readFile(l.attachment("data.bin")), data);
    }
    ListDir l(true, false);
    l.strip(message);
    EXPECT_FALSE(l.has("m"));
    EXPECT_EQ(ListAttachments(l.list, l.spool()), "");
}

TEST(StripMessage, PlainMessagePassesUnchanged) {
    const std::string message =
        "From: a@example.org\r\nTo: l@example.org\r\nSubject: submit\r\n\r\nJust text.\r\n..stuffed\r\n\r\n.\r\n";
    ListDir l(true, true);
    EXPECT_EQ(l.strip(message), "    Stripping Attachments...\n    Deleting attachments...\n    Stripping HTML...\n");
    EXPECT_EQ(fixtures::readFile(l.spool()), message);
    EXPECT_FALSE(l.has("m.TMP"));
}

TEST(StripMessage, TopLevelHtmlBecomesText) {
    const std::string longLine = std::string(8191, 'x') + ".tail of a long line";
    const std::string message =
        "From: a@example.org\r\nTo: l@example.org\r\nSubject: submit\r\n"
        "Content-Type: text/html;\r\n\tcharset=\"utf-8\"\r\n\r\n"
        "Intro <html><body>one line</body></html> tail\r\n"
        "Content-Type: text/html\r\n"
        "<HTML>\r\n<p>gone</p>\r\n</html>.after\r\n" +
        longLine + "\r\n"
        "<HTML lang=\"en\">kept</HTML>\r\n"
        "<html>\r\nunclosed\r\n.\r\nafter the end line\r\n";
    ListDir l(true, true);
    l.strip(message);
    EXPECT_EQ(fixtures::readFile(l.spool()),
              "From: a@example.org\r\nTo: l@example.org\r\nSubject: submit\r\n"
              "Content-Type: text/plain; charset=\"utf-8\"\r\n\r\n"
              "Intro \r\n" + kMarker + " tail\r\n"
              "Content-Type: text/html\r\n" +
              kMarker + "..after\r\n" + longLine + "\r\n<HTML lang=\"en\">kept</HTML>\r\n" + kMarker + ".\r\n");

    // Without StripHTML the same message stays as it came.
    ListDir off(true, false);
    off.strip(message);
    EXPECT_EQ(fixtures::readFile(off.spool()), message);
}

TEST(StripMessage, NothingToDoOrNothingDecodable) {
    ListDir l(true, true);
    CaptureStdout();
    StripMessage(l.list, l.spool());
    StripMessage(l.list, "");
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_FALSE(l.has("m.NEW"));
    // A file the decoder cannot read (no header at all) is left for
    // processing to judge, and no HTML is stripped from it.
    EXPECT_EQ(l.strip(""), "    Stripping Attachments...\n");
    EXPECT_TRUE(l.has("m.NEW"));
}

TEST(StripMessage, FailedWriteSetsTheSpoolFileAside) {
    const std::string small = "From: a@example.org\r\nTo: l@example.org\r\nSubject: submit\r\n\r\n<HTML>x</HTML>\r\n" +
                              std::string(1500, 'z') + "\r\n.\r\n";
    const std::string large = "From: a@example.org\r\nTo: l@example.org\r\nSubject: submit\r\n\r\n" +
                              std::string(64 * 1024, 'y') + "\r\n.\r\n";
    // Small enough to sit in the stream buffer until the close, and large
    // enough to fail on the write itself; either is more than the disk holds.
    for (const std::string& message : {small, large}) {
        ListDir l(true, true);
        l.dir.write("m.NEW", message);
        std::string out;
        {
            const FileSizeLimit full(1024);
            CaptureStdout();
            StripMessage(l.list, l.spool());
            out = GetCapturedStdout();
        }
        EXPECT_FALSE(l.has("m.NEW")) << out;
        EXPECT_FALSE(l.has("m.TMP"));
        EXPECT_EQ(fixtures::readFile(l.dir.file("m.BAD")), message);
    }
}

TEST(StripMessage, MessagesBeyondTheDecodersLimitsAreSetAside) {
    // Depth 7 is followed to its text; depth 8 cannot be decoded and must not
    // go out as raw MIME or vanish. Nor may more parts than the decoder
    // takes, which would keep the engine from every other list.
    const std::string head = "From: a@example.org\r\nTo: l@example.org\r\nSubject: submit\r\n"
                             "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
    auto nested = [&](int depth) {
        std::string message = head;
        for (int i = 0; i < depth; ++i)
            message += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=b" +
                       std::to_string(i + 1) + "\r\n\r\n";
        return message + "--b" + std::to_string(depth) + "\r\nContent-Type: text/plain\r\n\r\ndeep text\r\n.\r\n";
    };
    std::string manyParts = head;
    manyParts += "--b0\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\nAAAA\r\n";
    for (int i = 0; i < 10000; ++i) manyParts += "--b0\r\nContent-Type: text/plain\r\n\r\nt\r\n";
    manyParts += "--b0--\r\n.\r\n";
    const struct {
        std::string message;
        const char* setAside;  // the line, or null when decoded
    } cases[] = {
        {nested(7), nullptr},
        {nested(8), "    Message nested too deeply to decode...Set aside\n"},
        {manyParts, "    Message has too many parts to decode...Set aside\n"},
    };
    for (const auto& c : cases) {
        ListDir l(false, false);
        const std::string out = l.strip(c.message);
        if (!c.setAside) {
            EXPECT_EQ(out, "    Processing Attachments...\n");
            EXPECT_EQ(fixtures::readFile(l.spool()),
                      "From: a@example.org\r\nTo: l@example.org\r\nSubject: submit\r\n"
                      "Content-Type: text/plain; charset=utf-8\r\n\r\ndeep text\r\n");
        } else {
            // Parts decoded before the limit are reported, then the refusal.
            const std::string decoded = c.message == manyParts ? "      Decoded " + l.attachment("Attach00.PNG") + "\n" : "";
            EXPECT_EQ(out, "    Processing Attachments...\n" + decoded + c.setAside);
            EXPECT_FALSE(l.has("m.NEW"));
            EXPECT_TRUE(fixtures::readFile(l.dir.file("m.BAD")) == c.message);
            // What was decoded before the limit is not left behind.
            EXPECT_FALSE(l.has("m"));
        }
    }
}
