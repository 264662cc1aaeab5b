// Delivery through the library export into real SMTP sinks on loopback.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "KOVASMTP.h"
#include "smtp/tests/Base64Decode.h"
#include "tests/TempDir.h"
#include "tests/harness/SmtpSink.h"
#include "transport/ResultCodes.h"

using harness::SmtpSink;

namespace {

std::string sendTo(const SmtpSink& sink, const char* from, const char* to, const char* replyTo, const std::string& body,
                   const char* attachments, int32_t* result) {
    std::string transcript(1 << 16, '\0');
    *result = KOVASMTP_SendEMail(sink.server().c_str(), from, to, replyTo, "Test subject", body.data(),
                                 static_cast<int32_t>(body.size()), attachments, transcript.data(),
                                 static_cast<int32_t>(transcript.size()));
    transcript.resize(transcript.find('\0'));
    return transcript;
}

// The body of the MIME part whose headers name `file`.
std::string partBody(const std::string& data, const std::string& file) {
    const size_t at = data.find("filename=\"" + file + "\"\r\n\r\n");
    if (at == std::string::npos) return {};
    const size_t start = data.find("\r\n\r\n", at) + 4;
    const size_t end = data.find("\r\n--__--__KOVA", start);
    return data.substr(start, end - start);
}

}  // namespace

TEST(SmtpDelivery, TwoRecipientsWithoutReplyToAndThreeLabelHelo) {
    SmtpSink sink(SmtpSink::Kind::Python, "127.0.1.10");
    std::string error;
    ASSERT_TRUE(sink.start(&error)) << error;
    int32_t r;
    const std::string t = sendTo(sink, "list@mail.lists.example.com", "one@example.org,two@example.org", nullptr,
                                 "Line one\r\nLine two\r\n", nullptr, &r);
    ASSERT_EQ(r, ResultCode::Success) << t;
    const auto msgs = sink.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].helo, "example.com");
    EXPECT_EQ(msgs[0].mailFrom, "list@mail.lists.example.com");
    EXPECT_EQ(msgs[0].rcptTos, (std::vector<std::string>{"one@example.org", "two@example.org"}));
    const std::string& d = msgs[0].data;
    EXPECT_TRUE(d.starts_with("Subject: Test subject\r\nFrom: <list@mail.lists.example.com>\r\n"
                              "To: <one@example.org>,<two@example.org>\r\nDate: "))
        << d;
    EXPECT_EQ(d.find("Reply-To"), std::string::npos);
    EXPECT_TRUE(d.ends_with("Content-Transfer-Encoding: 7bit\r\n\r\nLine one\r\nLine two\r\n")) << d;
    EXPECT_NE(t.find("221"), std::string::npos);  // the transcript covers the whole dialogue
}

TEST(SmtpDelivery, BodyDotLinesArriveUnchangedWithReplyTo) {
    SmtpSink sink(SmtpSink::Kind::Python, "127.0.1.11");
    std::string error;
    ASSERT_TRUE(sink.start(&error)) << error;
    int32_t r;
    const std::string body = "First\r\n.\r\n..\r\n.x\r\n.\r\nLast\r\n.\r\n";
    sendTo(sink, "owner@example.net", "member@example.org", "list@example.net", body, nullptr, &r);
    ASSERT_EQ(r, ResultCode::Success);
    const auto msgs = sink.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_NE(msgs[0].data.find("\r\nReply-To: list@example.net\r\nFrom: <owner@example.net>\r\n"), std::string::npos);
    // The final "." line and the trailing line end are dropped, every other line arrives as written.
    EXPECT_TRUE(msgs[0].data.ends_with("\r\n\r\nFirst\r\n.\r\n..\r\n.x\r\n.\r\nLast\r\n")) << msgs[0].data;
}

TEST(SmtpDelivery, AttachmentsEmptyAndTwoRealFilesDecodeBack) {
    SmtpSink sink(SmtpSink::Kind::Python, "127.0.1.12");
    std::string error;
    ASSERT_TRUE(sink.start(&error)) << error;
    TempDir dir;
    std::mt19937 rng(7);
    std::string binary(300001, '\0');
    for (char& c : binary) c = static_cast<char>(rng());
    dir.write("one.bin", binary);
    dir.write("two.txt", "short text\r\n");

    int32_t r;
    sendTo(sink, "a@example.org", "b@example.org", nullptr, "See attached.\r\n", "", &r);
    ASSERT_EQ(r, ResultCode::Success);
    const std::string paths = dir.file("one.bin") + "| |" + dir.file("two.txt");
    sendTo(sink, "a@example.org", "b@example.org", nullptr, "Two files.\r\n", paths.c_str(), &r);
    ASSERT_EQ(r, ResultCode::Success);

    const auto msgs = sink.messages();
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_TRUE(msgs[0].data.ends_with("See attached.\r\n--__--__KOVA__--__--__--__--__KOVA__--__--\r\n"))
        << msgs[0].data;
    EXPECT_EQ(msgs[0].data.find("application/octet-stream"), std::string::npos);
    const std::string& d = msgs[1].data;
    EXPECT_NE(d.find("Content-Type: application/octet-stream; name=\"one.bin\"\r\n"), std::string::npos);
    EXPECT_EQ(decodeBase64(partBody(d, "one.bin")), binary);
    EXPECT_EQ(decodeBase64(partBody(d, "two.txt")), "short text\r\n");
    EXPECT_TRUE(d.ends_with("--__--__KOVA__--__--__--__--__KOVA__--__--\r\n"));
}

TEST(SmtpDelivery, RefusedRecipientEndsTheCallWithTheTranscript) {
    SmtpSink sink(SmtpSink::Kind::Python, "127.0.1.13");
    std::string error;
    ASSERT_TRUE(sink.start(&error)) << error;
    int32_t r;
    const std::string t =
        sendTo(sink, "a@example.org", "ok@example.org,refused@example.org", nullptr, "x\r\n", nullptr, &r);
    EXPECT_EQ(r, ResultCode::IncorrectResponse);
    EXPECT_NE(t.find("rcpt to:<refused@example.org>\r\n550 "), std::string::npos) << t;
    EXPECT_EQ(t.find("data\r\n"), std::string::npos);
    EXPECT_TRUE(sink.messages().empty());

    // A transcript array of size 1 receives nothing.
    char one = 'z';
    r = KOVASMTP_SendEMail(sink.server().c_str(), "a@example.org", "refused@example.org", nullptr, "s", nullptr, 0,
                           nullptr, &one, 1);
    EXPECT_EQ(r, ResultCode::IncorrectResponse);
    EXPECT_EQ(one, 'z');
}

TEST(SmtpDelivery, PostfixSinkSeesBothRecipientsAsWritten) {
    SmtpSink sink(SmtpSink::Kind::Postfix, "127.0.1.14");
    std::string error;
    ASSERT_TRUE(sink.start(&error)) << error;
    const std::string body = "Hello\r\n";
    const int32_t r = KOVASMTP_SendEMail(sink.server().c_str(), "me@example.com", "x@example.org, y@example.org",
                                         nullptr, "Hi", body.data(), static_cast<int32_t>(body.size()), nullptr,
                                         nullptr, 0);
    ASSERT_EQ(r, ResultCode::Success);
    const auto files = sink.messageFiles();
    ASSERT_EQ(files.size(), 1u);
    TempDir none;
    std::ifstream f(files[0], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_NE(text.find("X-Rcpt-Args: <x@example.org>\n"), std::string::npos) << text;
    EXPECT_NE(text.find("X-Rcpt-Args: < y@example.org>\n"), std::string::npos) << text;
    EXPECT_NE(text.find("To: <x@example.org>,< y@example.org>\n"), std::string::npos) << text;
}

TEST(SmtpDelivery, ExtraHeadersArriveInTheHeaderBlockOrNothingIsSent) {
    SmtpSink sink(SmtpSink::Kind::Python, "127.0.1.16");
    std::string error;
    ASSERT_TRUE(sink.start(&error)) << error;
    const std::string body = "Hello\r\n";
    EXPECT_EQ(KOVASMTP_SendEMailWithHeaders(sink.server().c_str(), "list@example.org", "a@example.org", nullptr, "s",
                                            body.data(), static_cast<int32_t>(body.size()), "",
                                            "List-Id: <club.example.org>\r\nPrecedence: list", nullptr, 0),
              ResultCode::Success);
    // A header that would smuggle in another is refused before connecting.
    EXPECT_EQ(KOVASMTP_SendEMailWithHeaders(sink.server().c_str(), "list@example.org", "a@example.org", nullptr, "s",
                                            body.data(), static_cast<int32_t>(body.size()), nullptr,
                                            "List-Id: <a>\nBcc: victim@example.org", nullptr, 0),
              ResultCode::InvalidParameter);
    // Null headers send what the plain export sends.
    EXPECT_EQ(KOVASMTP_SendEMailWithHeaders(sink.server().c_str(), "list@example.org", "b@example.org", nullptr, "s",
                                            nullptr, 0, nullptr, nullptr, nullptr, 0),
              ResultCode::Success);
    const auto msgs = sink.messages();
    ASSERT_EQ(msgs.size(), 2u);
    const std::string& d = msgs[0].data;
    const size_t blank = d.find("\r\n\r\n");
    EXPECT_NE(d.find("\r\nList-Id: <club.example.org>\r\nPrecedence: list\r\nMIME-Version: 1.0\r\n"), std::string::npos)
        << d;
    EXPECT_LT(d.find("Precedence"), blank);
    EXPECT_EQ(msgs[1].rcptTos, std::vector<std::string>{"b@example.org"});
    EXPECT_EQ(msgs[1].data.find("List-Id"), std::string::npos);
}

TEST(SmtpDelivery, BadArgumentsSendNothing) {
    EXPECT_EQ(KOVASMTP_SendEMail(nullptr, "a@b.c", "d@e.f", nullptr, "s", nullptr, 0, nullptr, nullptr, 0),
              ResultCode::NullPointer);
    EXPECT_EQ(KOVASMTP_SendEMail("127.0.1.15", "a@b.c", "d@e.f", nullptr, nullptr, nullptr, 0, nullptr, nullptr, 0),
              ResultCode::NullPointer);
    // Addresses that would smuggle in commands are refused before connecting
    // (nothing listens there: a connect attempt would give -3).
    EXPECT_EQ(KOVASMTP_SendEMail("127.0.1.15", "a@b.c\r\nrcpt to:<x@y.z>", "d@e.f", nullptr, "s", nullptr, 0, nullptr,
                                 nullptr, 0),
              ResultCode::InvalidParameter);
    EXPECT_EQ(KOVASMTP_SendEMail("127.0.1.15", "a@b.c", "d@e.f>\nquit", nullptr, "s", nullptr, 0, nullptr, nullptr, 0),
              ResultCode::InvalidParameter);
    EXPECT_EQ(KOVASMTP_SendEMail("127.0.1.15", "a@b.c", "d@e.f", nullptr, "s", nullptr, 0, nullptr, nullptr, 0),
              ResultCode::PortNotOpened);
}
