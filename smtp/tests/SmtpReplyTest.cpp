// The one SMTP reply reader: how replies are framed and taken apart, what
// EHLO offers, and replies cut or grouped on a real connection.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "smtp/SmtpConnection.h"
#include "smtp/SmtpExtensions.h"
#include "smtp/SmtpReply.h"
#include "tests/harness/ScriptedServer.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

using harness::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kAddress = "127.0.20.1";

long elapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

}  // namespace

TEST(SmtpReply, FramingCodeEnhancedStatusAndText) {
    struct Case {
        const char* name;
        std::string text;
        size_t taken;  // 0: incomplete
        int code;
        const char* status;
        std::vector<std::string> lines;
    };
    const std::string exchange =
        "550-5.7.1 Unauthenticated email from example.com is not accepted due to\r\n"
        "550-5.7.1 domain's DMARC policy. Please contact the administrator of\r\n"
        "550 5.7.1 example.com domain if this was a legitimate mail.\r\n";
    const Case cases[] = {
        {"one line", "250 ok\r\n", 8, 250, "", {"ok"}},
        {"only what belongs to it", "250 ok\r\n354 go\r\n", 8, 250, "", {"ok"}},
        {"bare LF and no text", "221\n", 4, 221, "", {""}},
        {"multi-line, the last line decides", "250-fine\r\n554 but no\r\n", 22, 554, "", {"fine", "but no"}},
        {"enhanced status on every line", exchange, exchange.size(), 550, "5.7.1",
         {"5.7.1 Unauthenticated email from example.com is not accepted due to",
          "5.7.1 domain's DMARC policy. Please contact the administrator of",
          "5.7.1 example.com domain if this was a legitimate mail."}},
        {"enhanced status alone", "451 4.3.2\r\n", 11, 451, "4.3.2", {"4.3.2"}},
        {"three-digit detail", "550 5.1.10 RESOLVER.ADR.RecipientNotFound\r\n", 43, 550, "5.1.10",
         {"5.1.10 RESOLVER.ADR.RecipientNotFound"}},
        {"status of another class is none", "250 5.1.1 odd\r\n", 15, 250, "", {"5.1.1 odd"}},
        {"four-digit detail is no status", "550 5.1.1000 x\r\n", 16, 550, "", {"5.1.1000 x"}},
        {"a version number is no status", "220 mail.example.org ESMTP 3.7.1\r\n", 34, 220, "",
         {"mail.example.org ESMTP 3.7.1"}},
        {"incomplete line", "250 ok", 0, 0, "", {}},
        {"incomplete multi-line reply", "250-a\r\n250-b\r\n", 0, 0, "", {}},
        {"a POP3 answer is malformed", "+OK ready\r\n", 11, 0, "", {"+OK ready"}},
        {"a malformed line ends the reply", "250-a\r\nxyz\r\n250 b\r\n", 12, 0, "", {"a", "xyz"}},
        {"four digits", "2500 x\r\n", 8, 0, "", {"2500 x"}},
        {"class 1 and 6 are no codes", "150 x\r\n", 7, 0, "", {"150 x"}},
        {"a tab is no separator", "250\tok\r\n", 8, 0, "", {"250\tok"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        smtp::Reply reply;
        EXPECT_EQ(smtp::parseReply(c.text, reply), c.taken);
        EXPECT_EQ(reply.code, c.code);
        EXPECT_EQ(reply.status.text(), c.status);
        EXPECT_EQ(reply.lines, c.lines);
    }
    // No reply is longer than the limit, however it goes on.
    std::string endless;
    while (endless.size() <= smtp::kMaxReplyBytes) endless += "250-" + std::string(1000, 'y') + "\r\n";
    smtp::Reply reply;
    EXPECT_EQ(smtp::parseReply(endless + "250 end\r\n", reply), 0u);
}

TEST(SmtpReply, EhloOffers) {
    struct Case {
        const char* name;
        std::string reply;
        bool startTls;
        bool pipelining;
        std::vector<std::string> auth;
    };
    const Case cases[] = {
        {"Postfix submission",
         "250-mail.example.org\r\n250-PIPELINING\r\n250-SIZE 10240000\r\n250-ETRN\r\n250-STARTTLS\r\n"
         "250-AUTH PLAIN LOGIN\r\n250-ENHANCEDSTATUSCODES\r\n250-8BITMIME\r\n250 DSN\r\n",
         true, true, {"PLAIN", "LOGIN"}},
        {"Exchange, with the older AUTH= line", "250-EX01.example.com Hello [192.0.2.1]\r\n250-SIZE 37748736\r\n"
         "250-PIPELINING\r\n250-AUTH NTLM LOGIN\r\n250-AUTH=LOGIN\r\n250 CHUNKING\r\n",
         false, true, {"NTLM", "LOGIN"}},
        {"lower case and tabs", "250-hi\r\n250-starttls\r\n250 auth\tlogin  plain\r\n", true, false,
         {"LOGIN", "PLAIN"}},
        {"the first line names the server", "250-PIPELINING STARTTLS\r\n250 AUTH\r\n", false, false, {}},
        {"a HELO answer offers nothing", "250 hello\r\n", false, false, {}},
        {"a refusal offers nothing", "502-STARTTLS\r\n502 PIPELINING\r\n", false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        smtp::Reply reply;
        ASSERT_EQ(smtp::parseReply(c.reply, reply), c.reply.size());
        const smtp::Extensions e = smtp::parseEhlo(reply);
        EXPECT_EQ(e.startTls, c.startTls);
        EXPECT_EQ(e.pipelining, c.pipelining);
        EXPECT_EQ(e.authMechanisms, c.auth);
    }
}

TEST(SmtpReply, RepliesCutInPiecesOrGroupedAreTakenOneByOne) {
    // "2" then "20 hi": a reply judged from a fragment would fail; a CR LF
    // split across reads; replies to grouped commands arriving together or
    // cut anywhere.
    using S = ScriptedServer;
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({S::send("2"), S::pause(60), S::send("20-hello\r\n220 there\r"), S::pause(60),
                              S::send("\n250 ok\r\n35"), S::pause(50), S::send("4 go\r\n25"), S::pause(50),
                              S::send("0 queued\r\n"), S::close()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 25, true, false), ResultCode::Success);
    for (const auto& [code, text] : std::vector<std::pair<int, std::string>>{
             {220, "hello\r\nthere"}, {250, "ok"}, {354, "go"}, {250, "queued"}}) {
        smtp::Reply reply;
        EXPECT_EQ(smtp::readReply(s, reply, 5000), ResultCode::Success);
        EXPECT_EQ(reply.code, code);
        EXPECT_EQ(reply.text(), text);
    }
    // Nothing more will come: the closed link ends the wait at once.
    const auto t0 = Clock::now();
    smtp::Reply reply;
    EXPECT_EQ(smtp::readReply(s, reply, 5000), ResultCode::ResponseTimeout);
    EXPECT_LT(elapsedMs(t0), 2000);
    EXPECT_EQ(reply.code, 0);
    EXPECT_TRUE(server.finish());
}

// Replies a dialogue must never take as the answer to its command: bytes
// sent before the command went out, and replies too long to be one. Each
// fails fast, well inside the reply limit, and sends nothing it should not.
TEST(SmtpReply, UnaskedAndEndlessRepliesFail) {
    std::string endless;
    while (endless.size() <= 70 * 1024) endless += "250-" + std::string(1000, 'y') + "\r\n";
    struct Case {
        const char* name;
        std::string greeting;
        std::string answer;  // to the command, when the server reads it
        int32_t result;
        std::string serverSees;
    };
    const Case cases[] = {
        {"two replies to one command", "220 hi\r\n220 stale\r\n", "", ResultCode::IncorrectResponse, ""},
        {"endless multi-line reply", "220 hi\r\n", endless, ResultCode::ResponseTimeout, "ehlo x\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ScriptedServer::Step> script{ScriptedServer::send(c.greeting)};
        if (!c.answer.empty()) script.insert(script.end(), {ScriptedServer::readLine(), ScriptedServer::send(c.answer)});
        script.push_back(ScriptedServer::waitForClose());
        ScriptedServer server(kAddress);
        ASSERT_TRUE(server.start(script));
        smtp::Connection connection;
        ASSERT_EQ(connection.socket().Connect(server.server().c_str(), 25, true, false), ResultCode::Success);
        const auto t = Clock::now();
        smtp::Reply reply;
        EXPECT_EQ(connection.await(smtp::Step::Greeting, reply), ResultCode::Success);
        if (c.answer.empty()) {
            ASSERT_TRUE(connection.socket().WaitForBytes(0, 5000));
        }
        EXPECT_EQ(connection.command("ehlo x\r\n", smtp::Step::Ehlo, reply), c.result);
        EXPECT_LT(elapsedMs(t), 5000);
        connection.close();
        EXPECT_TRUE(server.finish());
        EXPECT_EQ(server.received(), c.serverSees);
    }
}
