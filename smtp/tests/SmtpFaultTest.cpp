// Server behaviour real sinks will not produce on demand, with shortened limits.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "smtp/MessageWriter.h"
#include "smtp/SmtpAuthentication.h"
#include "smtp/SmtpConnection.h"
#include "smtp/SmtpDelivery.h"
#include "tests/SentLines.h"
#include "tests/TempDir.h"
#include "tests/harness/ScriptedServer.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

using harness::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kAddress = "127.0.1.20";

class SmtpFault : public ::testing::Test {
protected:
    void SetUp() override {
        transport::Limits l;
        l.replyMs = 300;
        transport::setLimitsForTesting(l);
    }
    void TearDown() override { transport::resetLimitsForTesting(); }

    // The dialogue up to the 354 reply to DATA.
    static std::vector<ScriptedServer::Step> upToData(size_t recipients = 1) {
        std::vector<ScriptedServer::Step> s = {ScriptedServer::send("220 fake\r\n"), ScriptedServer::readLine(),
                                               ScriptedServer::send("250 hello\r\n"), ScriptedServer::readLine(),
                                               ScriptedServer::send("250 ok\r\n")};
        for (size_t i = 0; i < recipients; ++i) {
            s.push_back(ScriptedServer::readLine());
            s.push_back(ScriptedServer::send("250 ok\r\n"));
        }
        s.push_back(ScriptedServer::readLine());
        s.push_back(ScriptedServer::send("354 go\r\n"));
        return s;
    }

    static int32_t send(const ScriptedServer& server, const char* from = "a@example.org", const char* attachments = nullptr,
                        std::string* transcript = nullptr) {
        std::string t(1 << 16, '\0');
        const std::string body = "hello\r\n";
        const int32_t r = smtp::sendEMail(server.server().c_str(), from, "b@example.org", nullptr, "s", body.data(),
                                          body.size(), attachments, t.data(), t.size());
        if (transcript) *transcript = t.substr(0, t.find('\0'));
        return r;
    }

    static long msSince(Clock::time_point t0) {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
    }
};

}  // namespace

TEST_F(SmtpFault, SilentServerTimesOutWithinTheLimit) {
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("220 fake\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::waitForClose()}));
    const auto t0 = Clock::now();
    EXPECT_EQ(send(server), ResultCode::ResponseTimeout);
    EXPECT_LT(msSince(t0), 3000);
    EXPECT_TRUE(server.finish());
}

TEST_F(SmtpFault, MultiLineGreetingIsJudgedByItsLastLine) {
    ScriptedServer ok(kAddress);
    auto script = upToData();
    script[0] = ScriptedServer::send("220-fake server\r\n220-more text\r\n");
    script.insert(script.begin() + 1, {ScriptedServer::pause(50), ScriptedServer::send("220 ready\r\n")});
    script.push_back(ScriptedServer::readUntil("\r\n.\r\n"));
    script.push_back(ScriptedServer::send("250 queued\r\n"));
    script.push_back(ScriptedServer::readLine());
    script.push_back(ScriptedServer::send("221 bye\r\n"));
    script.push_back(ScriptedServer::waitForClose());
    ASSERT_TRUE(ok.start(script));
    EXPECT_EQ(send(ok), ResultCode::Success);
    EXPECT_TRUE(ok.finish());

    ScriptedServer refusing(kAddress);
    ASSERT_TRUE(refusing.start({ScriptedServer::send("220-fake server\r\n554 go away\r\n"),
                                ScriptedServer::waitForClose()}));
    EXPECT_EQ(send(refusing), ResultCode::IncorrectResponse);
    EXPECT_TRUE(refusing.finish());
}

TEST_F(SmtpFault, AcceptedDataIsDeliveredWhateverQuitBrings) {
    ScriptedServer server(kAddress);
    auto script = upToData();
    script[6] = ScriptedServer::send("251 2.1.5 User not local; will forward\r\n");  // as good as 250
    script.push_back(ScriptedServer::readUntil("\r\n.\r\n"));
    script.push_back(ScriptedServer::send("250 queued\r\n"));
    script.push_back(ScriptedServer::readLine());
    script.push_back(ScriptedServer::close());  // no 221
    ASSERT_TRUE(server.start(script));
    std::string t;
    EXPECT_EQ(send(server, "a@example.org", nullptr, &t), ResultCode::Success);
    EXPECT_NE(t.find("250 queued\r\nquit\r\n"), std::string::npos) << t;
    EXPECT_TRUE(server.finish());
}

TEST_F(SmtpFault, ConnectionDroppedMidMessageFailsAtOnce) {
    transport::resetLimitsForTesting();  // the full minute: the failure must not wait for it
    TempDir dir;
    dir.write("big.bin", std::string(2 << 20, 'z'));
    ScriptedServer server(kAddress);
    auto script = upToData();
    script.push_back(ScriptedServer::readUntil("Content-Disposition: attachment"));
    script.push_back(ScriptedServer::close());
    ASSERT_TRUE(server.start(script));
    const auto t0 = Clock::now();
    const int32_t r = send(server, "a@example.org", dir.file("big.bin").c_str());
    EXPECT_TRUE(r == ResultCode::ResponseTimeout || r == ResultCode::WriteError) << r;
    EXPECT_LT(msSince(t0), 5000);
    EXPECT_TRUE(server.finish());
}

TEST_F(SmtpFault, SlowReaderReceivesALargeAttachmentWhole) {
    TempDir dir;
    std::string content(8 << 20, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 + 7);
    dir.write("large.bin", content);
    ScriptedServer server(kAddress);
    auto script = upToData();
    script.push_back(ScriptedServer::slowReadUntil("\r\n.\r\n", 65536, 3));
    script.push_back(ScriptedServer::send("250 queued\r\n"));
    script.push_back(ScriptedServer::readLine());
    script.push_back(ScriptedServer::send("221 bye\r\n"));
    script.push_back(ScriptedServer::waitForClose());
    ASSERT_TRUE(server.start(script));
    const auto t0 = Clock::now();
    EXPECT_EQ(send(server, "a@example.org", dir.file("large.bin").c_str()), ResultCode::Success);
    EXPECT_GT(msSince(t0), 300);  // the transfer outlasted the reply limit
    EXPECT_TRUE(server.finish());
    const std::string got = server.received();
    // 8 MiB as base64: 4/3 of it plus CR LF per 60 characters.
    EXPECT_GT(got.size(), content.size() * 4 / 3 + content.size() / 45 * 2);
    EXPECT_NE(got.find("--__--__KOVA__--__--__--__--__KOVA__--__--\r\n.\r\nquit\r\n"), std::string::npos);
}

TEST_F(SmtpFault, SenderWithoutDomainEndsAfterTheGreeting) {
    for (const char* from : {"nobody@", "nodomain"}) {
        ScriptedServer server(kAddress);
        ASSERT_TRUE(server.start({ScriptedServer::send("220 fake\r\n"), ScriptedServer::waitForClose()}));
        std::string t;
        EXPECT_EQ(send(server, from, nullptr, &t), ResultCode::InvalidParameter) << from;
        EXPECT_EQ(t, "220 fake\r\n");
        EXPECT_TRUE(server.finish());
        EXPECT_EQ(server.received(), "");
    }
}

TEST_F(SmtpFault, MissingAttachmentLeavesTheDataUnfinished) {
    TempDir dir;
    ScriptedServer server(kAddress);
    auto script = upToData();
    script.push_back(ScriptedServer::waitForClose());
    ASSERT_TRUE(server.start(script));
    EXPECT_EQ(send(server, "a@example.org", dir.file("missing.doc").c_str()), ResultCode::FileNotOpened);
    EXPECT_TRUE(server.finish());
    EXPECT_EQ(server.received().find("\r\n.\r\n"), std::string::npos);
}

TEST_F(SmtpFault, RefusedEhloFallsBackToHeloButNothingElseDoes) {
    struct Case {
        const char* name;
        const char* ehloReply;
        bool helo;  // the server gets HELO and takes the message
        int32_t result;
    };
    const Case cases[] = {
        {"a server that knows no EHLO", "502 5.5.1 Unrecognized command\r\n", true, ResultCode::Success},
        {"one that refuses it as a command", "500 syntax error\r\n", true, ResultCode::Success},
        {"one that is closing", "421 4.3.2 Shutting down\r\n", false, ResultCode::IncorrectResponse},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto script = upToData();
        script[2] = ScriptedServer::send(c.ehloReply);
        if (c.helo) {
            script.insert(script.begin() + 3, {ScriptedServer::readLine(), ScriptedServer::send("250 hello\r\n")});
            script.insert(script.end(), {ScriptedServer::readUntil("\r\n.\r\n"), ScriptedServer::send("250 queued\r\n"),
                                         ScriptedServer::readLine(), ScriptedServer::send("221 bye\r\n")});
        } else {
            script.resize(3);
        }
        script.push_back(ScriptedServer::waitForClose());
        ScriptedServer server(kAddress);
        ASSERT_TRUE(server.start(script));
        EXPECT_EQ(send(server), c.result);
        EXPECT_TRUE(server.finish());
        const std::string got = server.received();
        EXPECT_TRUE(got.starts_with(c.helo ? "ehlo example.org\r\nhelo example.org\r\nmail from:<a@example.org>\r\n"
                                           : "ehlo example.org\r\n"))
            << got;
        EXPECT_EQ(got.find("helo") != std::string::npos, c.helo);
    }
}

TEST(MessageWriter, Base64FileLayout) {
    TempDir dir;
    dir.write("empty", "");
    dir.write("four", "abcd");
    dir.write("full", std::string(45, 'M'));
    std::string line;
    for (int i = 0; i < 15; ++i) line += "TU1N";
    const std::string expected = "\r\n\r\nYWJjZA==\r\n\r\n" + line + "\r\n\r\n\r\n";

    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::readUntil(expected), ScriptedServer::send("250 got it\r\n"),
                              ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 25, true, false), ResultCode::Success);
    EXPECT_EQ(smtp::sendFileBase64(s, dir.file("missing").c_str()), ResultCode::FileNotOpened);
    EXPECT_EQ(smtp::sendFileBase64(s, nullptr), ResultCode::NullPointer);
    EXPECT_EQ(smtp::sendFileBase64(s, dir.file("empty").c_str()), ResultCode::Success);
    EXPECT_EQ(smtp::sendFileBase64(s, dir.file("four").c_str()), ResultCode::Success);
    EXPECT_EQ(smtp::sendFileBase64(s, dir.file("full").c_str()), ResultCode::Success);
    std::string reply;
    EXPECT_EQ(s.ReadLine(reply, 1024, 5000), ResultCode::Success);
    s.Disconnect();
    EXPECT_TRUE(server.finish());
    EXPECT_EQ(server.received(), expected);
}

// AUTH with a token as a real server will not vary it on demand: which
// mechanism EHLO offers, a response too long for the AUTH line, an error
// challenge. The library sends tokens over TLS only; the exchange is the
// same in clear.
TEST_F(SmtpFault, TokenLoginsByMechanismLengthAndChallenge) {
    const std::string longToken(2100, 'k');
    struct Case {
        const char* name;
        std::vector<std::string> offered;
        std::string token;
        std::vector<std::string> replies;
        int32_t result;
        std::vector<std::string> lines;  // what the client sent, '*' ending a prefix
    };
    const std::vector<Case> cases = {
        {"OAUTHBEARER preferred", {"XOAUTH2", "OAUTHBEARER", "PLAIN"}, "t0ken", {"235 2.7.0 ok\r\n"}, 0,
         {"AUTH OAUTHBEARER bixhPWxpc3RAZXhhbXBsZS5vcmcsAWF1dGg9QmVhcmVyIHQwa2VuAQE="}},
        {"XOAUTH2 only, long token after the 334", {"XOAUTH2"}, longToken, {"334 \r\n", "235 2.7.0 ok\r\n"}, 0,
         {"AUTH XOAUTH2", "dXNlcj1saXN0QGV4YW1wbGUub3JnAWF1dGg9QmVhcmVyIGtra2*"}},
        {"error challenge answered, then refused", {"OAUTHBEARER"}, "t0ken",
         {"334 eyJzdGF0dXMiOiI0MDEifQ==\r\n", "535 5.7.8 failed\r\n"}, ResultCode::AuthenticationRefused,
         {"AUTH OAUTHBEARER *", "AQ=="}},
        {"XOAUTH2 error challenge gets an empty line", {"XOAUTH2"}, "t0ken",
         {"334 eyJzdGF0dXMiOiI0MDEifQ==\r\n", "535 5.7.8 failed\r\n"}, ResultCode::AuthenticationRefused,
         {"AUTH XOAUTH2 *", ""}},
        {"a server taking the error answer still signs nobody in", {"OAUTHBEARER"}, "t0ken",
         {"334 eyJzdGF0dXMiOiI0MDEifQ==\r\n", "235 2.7.0 ok\r\n"}, ResultCode::AuthenticationRefused,
         {"AUTH OAUTHBEARER *", "AQ=="}},
        {"password mechanisms never take a token", {"PLAIN", "LOGIN"}, "t0ken", {}, ResultCode::AuthNotOffered, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server("127.0.26.40");
        std::vector<ScriptedServer::Step> script{ScriptedServer::send("220 fake\r\n")};
        for (const std::string& r : c.replies) {
            script.push_back(ScriptedServer::readLine());
            script.push_back(ScriptedServer::send(r));
        }
        script.push_back(ScriptedServer::waitForClose());
        ASSERT_TRUE(server.start(script));
        smtp::Connection connection;
        ASSERT_EQ(connection.socket().Connect(server.server().c_str(), 25, true, false), 0);
        smtp::Reply greeting;
        ASSERT_EQ(connection.await(smtp::Step::Greeting, greeting), 0);
        smtp::Security token;
        token.user = "list@example.org";
        token.password = c.token;
        token.bearer = true;
        EXPECT_EQ(smtp::authenticate(connection, c.offered, token), c.result);
        if (c.result == ResultCode::AuthenticationRefused && !c.replies.back().starts_with("235")) {
            EXPECT_EQ(connection.refusal().code, 535);
        }
        connection.close();
        EXPECT_TRUE(server.finish());
        std::vector<std::string> sent;
        const std::string all = server.received();
        for (size_t at = 0; at < all.size();) {
            const size_t end = all.find("\r\n", at);
            sent.push_back(all.substr(at, end - at));
            at = end == std::string::npos ? all.size() : end + 2;
        }
        expectSentLines(sent, c.lines, 2048);  // Postfix refuses longer command lines
    }
}

// A refused login ends with QUIT, as servers counting failed logins expect,
// and the refusal stays the reply that decided; a token is refused before
// connecting when it would go in clear, and a transcript never shows it.
TEST_F(SmtpFault, RefusedLoginSaysQuitAndTokensStayHidden) {
    ScriptedServer server("127.0.26.41");
    ASSERT_TRUE(server.start({ScriptedServer::send("220 fake\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("250-fake\r\n250 AUTH PLAIN\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("535 5.7.8 no\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("221 bye\r\n"), ScriptedServer::waitForClose()}));
    smtp::Security plain;
    plain.user = "list";
    plain.password = "wrong";
    plain.allowPlainAuth = true;
    const std::string body = "x";
    smtp::Outcome outcome;
    EXPECT_EQ(smtp::sendEMail(server.server().c_str(), "a@example.org", "b@example.org", nullptr, "s", body.data(), 1,
                              nullptr, nullptr, 0, nullptr, plain, &outcome),
              ResultCode::AuthenticationRefused);
    EXPECT_TRUE(server.finish());
    EXPECT_TRUE(server.received().ends_with("quit\r\n")) << server.received();
    EXPECT_EQ(outcome.reply.code, 535);

    smtp::Security bearer;
    bearer.user = "list@example.org";
    bearer.password = "t0ken";
    bearer.bearer = true;
    bearer.allowPlainAuth = true;
    smtp::Copy copy;
    EXPECT_EQ(smtp::prepareCopy(copy, "127.0.26.42", "a@example.org", "b@example.org", nullptr, "s", "x", 1, nullptr,
                                nullptr, bearer),
              ResultCode::PlainAuthRefused);
    const std::string shown = smtp::maskCredentials(
        "AUTH OAUTHBEARER bixhPWxpc3RAZXhhbXBsZS5vcmcsAWF1dGg9QmVhcmVyIHQwa2VuAQE=\r\n235 ok t0ken\r\n", bearer);
    EXPECT_EQ(shown.find("t0ken"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("QwaW"), std::string::npos) << shown;
}
