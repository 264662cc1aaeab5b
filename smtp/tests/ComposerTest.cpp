#include <gtest/gtest.h>

#include "smtp/HeloDomain.h"
#include "smtp/MessageComposer.h"
#include "transport/ResultCodes.h"

using namespace smtp;

TEST(HeloDomain, TakenFromTheSender) {
    std::string d;
    EXPECT_EQ(heloDomain("joe@example.com", d), ResultCode::Success);
    EXPECT_EQ(d, "example.com");
    EXPECT_EQ(heloDomain("joe@mail.dept.example.com", d), ResultCode::Success);
    EXPECT_EQ(d, "example.com");  // three or more labels: the last two
    EXPECT_EQ(heloDomain("joe@localhost", d), ResultCode::Success);
    EXPECT_EQ(d, "localhost");
    EXPECT_EQ(heloDomain("example.org", d), ResultCode::Success);
    EXPECT_EQ(d, "example.org");

    EXPECT_EQ(heloDomain("", d), ResultCode::InvalidParameter);
    EXPECT_EQ(heloDomain("nobody", d), ResultCode::InvalidParameter);
    EXPECT_EQ(heloDomain("joe@", d), ResultCode::InvalidParameter);  // would announce nothing
    EXPECT_EQ(heloDomain("joe@" + std::string(256, 'a'), d), ResultCode::InvalidParameter);
    EXPECT_EQ(heloDomain("joe@" + std::string(255, 'a'), d), ResultCode::Success);
}

TEST(DateLine, WritesTheZonesRealOffset) {
    platform::LocalTime t;
    t.year = 2026;
    t.month = 12;
    t.day = 7;
    t.weekday = 1;
    t.hour = 9;
    t.minute = 5;
    t.second = 3;
    t.utcOffsetMinutes = 60;
    EXPECT_EQ(dateText(t), "Mon, 7 Dec 2026 09:05:03 +0100");
    t.utcOffsetMinutes = 330;
    EXPECT_EQ(dateText(t), "Mon, 7 Dec 2026 09:05:03 +0530");
    t.utcOffsetMinutes = -210;
    EXPECT_EQ(dateText(t), "Mon, 7 Dec 2026 09:05:03 -0330");
    t.utcOffsetMinutes = 0;
    t.month = 1;
    t.day = 31;
    t.weekday = 0;
    EXPECT_EQ(dateText(t), "Sun, 31 Jan 2026 09:05:03 +0000");
}

TEST(ToLine, RecipientsAsWrittenInAngleBrackets) {
    const auto r = splitRecipients("a@x.org, b@y.org");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1], " b@y.org");  // the space is kept
    EXPECT_EQ(toLine(r), "To: <a@x.org>,< b@y.org>\r\n");
    EXPECT_EQ(splitRecipients("a@x.org,").size(), 2u);
}

TEST(Header, ValuesCannotStartLinesOfTheirOwn) {
    MessageFields f;
    f.from = "me@x.org";
    f.recipients = {"you@y.org"};
    const char* replyTo = "list@x.org\r\nBcc: victim@z.org";
    f.replyTo = replyTo;
    f.subject = "Hi\nX-Evil: 1";
    const std::string h = composeHeader(f);
    EXPECT_NE(h.find("Subject: Hi X-Evil: 1\r\n"), std::string::npos);
    EXPECT_NE(h.find("Reply-To: list@x.org  Bcc: victim@z.org\r\n"), std::string::npos);
    EXPECT_EQ(h.find("\nBcc"), std::string::npos);
    EXPECT_TRUE(h.ends_with("Content-Transfer-Encoding: 7bit\r\n\r\n"));

    f.replyTo = "";
    f.multipart = true;
    const std::string m = composeHeader(f);
    EXPECT_NE(m.find("Reply-To: \r\n"), std::string::npos);
    EXPECT_TRUE(m.ends_with("\r\n\r\n--__--__KOVA__--__--__--__--__KOVA__--__\r\nContent-Type: text/plain; "
                            "charset=us-ascii\r\nContent-Disposition: inline\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"));
}

TEST(Header, ExtraLinesAreCheckedBeforeTheyJoinTheBlock) {
    struct Case {
        const char* headers;
        bool accepted;
        const char* lines;
    };
    const Case cases[] = {
        {"", true, ""},
        {"List-Id: <club.example.org>", true, "List-Id: <club.example.org>\r\n"},
        {"Precedence: list\r\nReferences: <a@x>\r\n <b@x>\r\n\r\n", true,
         "Precedence: list\r\nReferences: <a@x>\r\n <b@x>\r\n"},
        {"X-Empty:", true, "X-Empty:\r\n"},
        {"List-Id: <a>\nBcc: victim@z.org", false, ""},        // a lone LF would start a header
        {"List-Id: <a>\rBcc: victim@z.org", false, ""},        // and so would a lone CR
        {"List-Id: <a>\r\n\r\nbody text", false, ""},       // no name: would be read as body
        {" continued", false, ""},                            // continues nothing
        {"List-Id: <a>\r\n \t", false, ""},                  // continuation of blanks only
        {"Bad Name: x", false, ""},
        {": x", false, ""},
        {"List-Id <a>", false, ""},
        {"X-A: \x01", false, ""},
        {"subject: again", false, ""},                        // the composer writes these itself
        {"Message-ID: <x@y>", false, ""},
        {"content-type: text/html", false, ""},
    };
    for (const Case& c : cases) {
        std::string lines = "stale";
        EXPECT_EQ(checkExtraHeaders(c.headers, lines), c.accepted) << c.headers;
        if (c.accepted) {
            EXPECT_EQ(lines, c.lines) << c.headers;
        }
    }
    std::string lines;
    EXPECT_TRUE(checkExtraHeaders("X-Long: " + std::string(990, 'a'), lines));
    EXPECT_FALSE(checkExtraHeaders("X-Long: " + std::string(991, 'a'), lines));

    MessageFields f;
    f.from = "me@x.org";
    f.recipients = {"you@y.org"};
    f.subject = "Hi";
    f.extraHeaders = "List-Id: <club.x.org>\r\n";
    const std::string h = composeHeader(f);
    EXPECT_NE(h.find("\r\nList-Id: <club.x.org>\r\nMIME-Version: 1.0\r\n"), std::string::npos) << h;
}

TEST(Body, TrailingLineEndsAndFinalDotGoLinesStartingWithDotAreStuffed) {
    EXPECT_EQ(prepareBody("Hello\r\n.\r\n\r\n"), "Hello");
    EXPECT_EQ(prepareBody(".\r\n..\r\n.x\r\nend"), "..\r\n...\r\n..x\r\nend");
    EXPECT_EQ(prepareBody("a\r\n.\r\nb\r\n"), "a\r\n..\r\nb");
    EXPECT_EQ(prepareBody("\r\n\r\n"), "");
    EXPECT_EQ(prepareBody("no dot. here\r\n"), "no dot. here");
}

TEST(Attachments, PathsNamesAndPartHeaders) {
    const auto p = splitAttachmentPaths("/data/one.bin| |/data/sub dir/two.txt |");
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0], "/data/one.bin");
    EXPECT_EQ(p[1], "/data/sub dir/two.txt");
    EXPECT_TRUE(splitAttachmentPaths("").empty());
    EXPECT_EQ(attachmentName("C:\\spool\\a.doc"), "a.doc");
    EXPECT_EQ(attachmentName("/x/y/z.pdf"), "z.pdf");
    EXPECT_EQ(attachmentName("plain"), "plain");
    EXPECT_EQ(attachmentName("/x/y/"), "attachment");
    EXPECT_EQ(attachmentPartHeader("a.doc"),
              "\r\n--__--__KOVA__--__--__--__--__KOVA__--__\r\n"
              "Content-Type: application/octet-stream; name=\"a.doc\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Description: a.doc\r\n"
              "Content-Disposition: attachment; filename=\"a.doc\"\r\n\r\n");
    EXPECT_EQ(closingText(true), "\r\n--__--__KOVA__--__--__--__--__KOVA__--__--\r\n.\r\n");
    EXPECT_EQ(closingText(false), "\r\n.\r\n");
}

TEST(Body, LineEndsCharsetAndEncodingFollowTheBytes) {
    const std::string longAscii(1000, 'a');
    const struct {
        std::string body;
        const char* charset;
        const char* encoding;
        std::string wire;
    } cases[] = {
        {"plain\r\ntext\r\n", "us-ascii", "7bit", "plain\r\ntext"},
        // Bare LF and bare CR become CR LF; a bare CR before "." is stuffed like any line start.
        {"a\nb\rc\r\n", "us-ascii", "7bit", "a\r\nb\r\nc"},
        {"x\r.\r\ny", "us-ascii", "7bit", "x\r\n..\r\ny"},
        {"Caf\xC3\xA9 = 1\r\n.dot", "utf-8", "quoted-printable", "Caf=C3=A9 =3D 1\r\n..dot"},
        {"tab\t \r\nend", "us-ascii", "7bit", "tab\t \r\nend"},
        {"\xE2\x82\xAC \r\n", "utf-8", "quoted-printable", "=E2=82=AC=20"},
        {"\xE2\x82\xAC trailing \r\nx", "utf-8", "quoted-printable", "=E2=82=AC trailing=20\r\nx"},
        {longAscii, "us-ascii", "quoted-printable",
         std::string(75, 'a') + "=\r\n" + std::string(75, 'a') + "=\r\n" + std::string(75, 'a') + "=\r\n" +
             std::string(75, 'a') + "=\r\n" + std::string(75, 'a') + "=\r\n" + std::string(75, 'a') + "=\r\n" +
             std::string(75, 'a') + "=\r\n" + std::string(75, 'a') + "=\r\n" + std::string(75, 'a') + "=\r\n" +
             std::string(75, 'a') + "=\r\n" + std::string(75, 'a') + "=\r\n" + std::string(75, 'a') + "=\r\n" +
             std::string(75, 'a') + "=\r\n" + std::string(25, 'a')},
        {std::string(998, 'b'), "us-ascii", "7bit", std::string(998, 'b')},
    };
    for (const auto& c : cases) {
        BodyForm form;
        EXPECT_EQ(prepareBody(c.body, &form), c.wire) << c.body.substr(0, 40);
        EXPECT_EQ(form.charset, c.charset) << c.body.substr(0, 40);
        EXPECT_EQ(form.encoding, c.encoding) << c.body.substr(0, 40);
    }
}

TEST(Body, QuotedPrintableNeverSplitsAnEscapeAndKeepsLinesShort) {
    std::string body;
    for (int i = 0; i < 200; ++i) body += (i % 3 == 0) ? "\xC3\xA9" : "x=";
    const std::string qp = encodeQuotedPrintable(body);
    size_t start = 0;
    while (start < qp.size()) {
        size_t end = qp.find("\r\n", start);
        if (end == std::string::npos) end = qp.size();
        EXPECT_LE(end - start, 76u);
        const std::string line = qp.substr(start, end - start);
        // An "=" is either a soft break at the end or begins two hex digits.
        for (size_t i = 0; i < line.size(); ++i)
            if (line[i] == '=') {
                EXPECT_TRUE(i + 1 == line.size() || i + 2 < line.size()) << line;
            }
        start = end + 2;
    }
}

TEST(Header, MessageIdSubjectEncodingAndFolding) {
    const std::string a = newMessageId("list@Lists.Example.org"), b = newMessageId("list@Lists.Example.org");
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.starts_with("<") && a.ends_with("@Lists.Example.org>")) << a;
    EXPECT_TRUE(newMessageId("nodomain").ends_with("@ringpost.invalid>"));
    EXPECT_TRUE(newMessageId("x@a>b\r\n").ends_with("@ab>"));

    EXPECT_EQ(encodedHeaderValue("plain"), "plain");
    EXPECT_EQ(encodedHeaderValue("Caf\xC3\xA9"), "=?UTF-8?B?Q2Fmw6k=?=");

    std::string words;
    for (int i = 0; i < 300; ++i) words += " word";
    const std::string folded = foldHeaderLine("Subject:" + words);
    size_t start = 0;
    int lines = 0;
    while (start <= folded.size()) {
        size_t end = folded.find("\r\n", start);
        if (end == std::string::npos) end = folded.size();
        EXPECT_LE(end - start, 998u);
        if (lines++ > 0) {
            EXPECT_EQ(folded[start], ' ');
        }
        start = end + 2;
    }
    EXPECT_EQ(lines, 2);
    EXPECT_EQ(foldHeaderLine(std::string(1200, 'x')), std::string(1200, 'x'));  // no blank to fold at

    MessageFields f;
    f.from = "me@x.org";
    f.recipients = {"you@y.org"};
    f.subject = "\xE2\x82\xAC";
    f.messageId = "<1@x.org>";
    const std::string h = composeHeader(f);
    EXPECT_NE(h.find("Subject: =?UTF-8?B?4oKs?=\r\n"), std::string::npos) << h;
    EXPECT_NE(h.find("\r\nMessage-ID: <1@x.org>\r\n"), std::string::npos) << h;
    EXPECT_EQ(attachmentPartHeader("caf\xC3\xA9 1.txt"),
              "\r\n--__--__KOVA__--__--__--__--__KOVA__--__\r\n"
              "Content-Type: application/octet-stream; name=\"=?UTF-8?B?Y2Fmw6kgMS50eHQ=?=\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Description: =?UTF-8?B?Y2Fmw6kgMS50eHQ=?=\r\n"
              "Content-Disposition: attachment; filename*=UTF-8''caf%C3%A9%201.txt\r\n\r\n");
}
