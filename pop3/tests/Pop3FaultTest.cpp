// What a real server will not do on demand: silence, answers cut into pieces,
// dropped connections. Played by a scripted server; the time limits of this
// test's copy of the transport are shortened so silence costs little.
#include "pop3/KOVAPOP3.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <cstring>
#include <string>
#include <vector>

#include "pop3/Pop3Authentication.h"
#include "pop3/Pop3Reply.h"
#include "tests/SentLines.h"
#include "tests/TempDir.h"
#include "tests/harness/ScriptedPop3Server.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"

namespace {

constexpr int32_t kIncorrectResponse = -17;
constexpr int32_t kResponseTimeout = -18;
constexpr int32_t kNotLoggedIn = -19;
constexpr int32_t kInvalidParameter = -20;
constexpr int32_t kNullPointer = -21;
constexpr uint32_t kFinishMs = 10000;

class Pop3Faults : public ::testing::Test {
protected:
    void SetUp() override {
        transport::Limits l;
        l.replyMs = 400;
        l.listInactivityMs = 400;
        l.messageInactivityMs = 400;
        transport::setLimitsForTesting(l);
    }
    void TearDown() override {
        KOVAPOP3_Logout();
        transport::resetLimitsForTesting();
    }

    void start(harness::ScriptedPop3Server& s) {
        std::string error;
        ASSERT_TRUE(s.start(&error)) << error;
    }
    int32_t login(const harness::ScriptedPop3Server& s) {
        return KOVAPOP3_Login(s.server().c_str(), "alice", "secret");
    }

    TempDir dir_;
};

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

TEST_F(Pop3Faults, CallsOutsideASessionAndNullArguments) {
    char buf[8] = {};
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
    EXPECT_EQ(KOVAPOP3_GetMessageSizes(buf, sizeof buf), kNotLoggedIn);
    EXPECT_EQ(KOVAPOP3_GetMessageIDs(buf, sizeof buf), kNotLoggedIn);
    EXPECT_EQ(KOVAPOP3_GetMessage(1, dir_.file("m").c_str()), kNotLoggedIn);
    EXPECT_EQ(KOVAPOP3_DeleteMessage(1), kNotLoggedIn);
    EXPECT_EQ(KOVAPOP3_Login(nullptr, "a", "b"), kNullPointer);
    EXPECT_EQ(KOVAPOP3_Login("127.0.2.40", nullptr, "b"), kNullPointer);
    EXPECT_EQ(KOVAPOP3_Login("127.0.2.40", "a", nullptr), kNullPointer);
    EXPECT_EQ(KOVAPOP3_GetMessageIDs(nullptr, 8), kNullPointer);
    EXPECT_EQ(KOVAPOP3_GetMessage(1, nullptr), kNullPointer);
}

TEST_F(Pop3Faults, UnreachableServerIsPortNotOpened) {
    const auto t = Clock::now();
    // Nothing listens on port 1 of this address: refused at once.
    EXPECT_EQ(KOVAPOP3_Login("127.0.2.49:1", "alice", "secret"), -3);
    EXPECT_EQ(KOVAPOP3_Login("127.0.2.49:notaport", "alice", "secret"), -3);
    EXPECT_EQ(KOVAPOP3_Login("", "alice", "secret"), -3);
    EXPECT_LT(msSince(t), 2000);
    char buf[8];
    EXPECT_EQ(KOVAPOP3_GetMessageSizes(buf, sizeof buf), kNotLoggedIn);
}

TEST_F(Pop3Faults, LineBreaksInCredentialsAreRefusedBeforeAnythingIsSent) {
    harness::ScriptedPop3Server s("127.0.2.41");
    s.greetAndLogin().reply("+OK bye\r\n");
    start(s);
    EXPECT_EQ(KOVAPOP3_Login(s.server().c_str(), "alice\r\nDELE 1", "secret"), kInvalidParameter);
    EXPECT_EQ(KOVAPOP3_Login(s.server().c_str(), "alice", "secret\nQUIT"), kInvalidParameter);
    EXPECT_EQ(KOVAPOP3_Login(s.server().c_str(), "alice", "sec\rret"), kInvalidParameter);
    // The first connection the server sees is the good login.
    ASSERT_EQ(login(s), 0);
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
    ASSERT_TRUE(s.waitFinished(kFinishMs));
    EXPECT_EQ(s.commands(), (std::vector<std::string>{"USER alice", "PASS secret", "QUIT"}));
}

TEST_F(Pop3Faults, SilentGreetingTimesOut) {
    harness::ScriptedPop3Server s("127.0.2.42");
    start(s);  // accepts and never speaks
    const auto t = Clock::now();
    EXPECT_EQ(login(s), kResponseTimeout);
    EXPECT_LT(msSince(t), 5000);
    char buf[8];
    EXPECT_EQ(KOVAPOP3_GetMessageIDs(buf, sizeof buf), kNotLoggedIn);
}

TEST_F(Pop3Faults, ErrorAnswersKeepTheSession) {
    harness::ScriptedPop3Server s("127.0.2.43");
    s.greetAndLogin()
        .reply("-ERR no such message\r\n")
        .reply("-ERR busy\r\n")
        .reply("+OK marked\r\n")
        .reply("+OK bye\r\n");
    start(s);
    ASSERT_EQ(login(s), 0);
    EXPECT_EQ(KOVAPOP3_GetMessage(7, dir_.file("m.NEW").c_str()), kIncorrectResponse);
    EXPECT_TRUE(std::filesystem::exists(dir_.file("m.NEW")));
    EXPECT_EQ(dir_.read("m.NEW"), "");
    char buf[8];
    EXPECT_EQ(KOVAPOP3_GetMessageSizes(buf, sizeof buf), kIncorrectResponse);
    EXPECT_EQ(KOVAPOP3_DeleteMessage(-3), 0);
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
    ASSERT_TRUE(s.waitFinished(kFinishMs));
    EXPECT_EQ(s.commands(),
              (std::vector<std::string>{"USER alice", "PASS secret", "RETR 7", "LIST", "DELE -3", "QUIT"}));
}

TEST_F(Pop3Faults, SilenceInTheMiddleOfAMessageFailsAndKeepsWhatArrived) {
    harness::ScriptedPop3Server s("127.0.2.44");
    s.greetAndLogin().reply("+OK 100 octets\r\nSubject: cut\r\n\r\nfirst half");
    start(s);
    ASSERT_EQ(login(s), 0);
    const auto t = Clock::now();
    EXPECT_EQ(KOVAPOP3_GetMessage(1, dir_.file("m.NEW").c_str()), kResponseTimeout);
    EXPECT_GE(msSince(t), 350);  // the inactivity limit, not at once
    EXPECT_LT(msSince(t), 5000);
    EXPECT_EQ(dir_.read("m.NEW"), "Subject: cut\r\n\r\nfirst half");
}

TEST_F(Pop3Faults, SilenceInTheMiddleOfAListingFails) {
    harness::ScriptedPop3Server s("127.0.2.45");
    s.greetAndLogin().reply("+OK\r\n1 10\r\n2 2");
    start(s);
    ASSERT_EQ(login(s), 0);
    char buf[32];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(KOVAPOP3_GetMessageSizes(buf, sizeof buf), kResponseTimeout);
    EXPECT_STREQ(buf, "1 10\r\n2 2");
}

TEST_F(Pop3Faults, EndLineSplitAcrossPiecesEndsTheTransfer) {
    // Long limits: a missed end line would show as a failure, not a slow pass.
    transport::Limits l;
    l.messageInactivityMs = 10000;
    l.listInactivityMs = 10000;
    transport::setLimitsForTesting(l);
    harness::ScriptedPop3Server s("127.0.2.46");
    s.greetAndLogin()
        .reply("+OK\r\nSubject: a\r\n\r\n..dot\r\n").pause(100).send(".\r\n")
        .reply("+OK\r\nSubject: b\r\n\r\nx\r\n.").pause(100).send("\r\n")
        .reply("+OK\r\nSubject: c\r\n\r\ny\r").pause(100).send("\n.\r\n")
        .reply("+OK").pause(100).send("\r\n.").pause(100).send("\r\n")  // an empty message
        .reply("+OK 2 messages\r\n1 5\r\n2 6\r").pause(100).send("\n.\r").pause(100).send("\n")
        .reply("+OK bye\r\n");
    start(s);
    ASSERT_EQ(login(s), 0);
    const auto t = Clock::now();
    ASSERT_EQ(KOVAPOP3_GetMessage(1, dir_.file("a").c_str()), 0);
    ASSERT_EQ(KOVAPOP3_GetMessage(2, dir_.file("b").c_str()), 0);
    ASSERT_EQ(KOVAPOP3_GetMessage(3, dir_.file("c").c_str()), 0);
    ASSERT_EQ(KOVAPOP3_GetMessage(4, dir_.file("d").c_str()), 0);
    char buf[64];
    EXPECT_EQ(KOVAPOP3_GetMessageSizes(buf, sizeof buf), 13);
    EXPECT_LT(msSince(t), 5000);
    EXPECT_EQ(dir_.read("a"), "Subject: a\r\n\r\n..dot\r\n.\r\n");
    EXPECT_EQ(dir_.read("b"), "Subject: b\r\n\r\nx\r\n.\r\n");
    EXPECT_EQ(dir_.read("c"), "Subject: c\r\n\r\ny\r\n.\r\n");
    EXPECT_EQ(dir_.read("d"), ".\r\n");
    EXPECT_STREQ(buf, "1 5\r\n2 6\r\n.\r\n");
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
}

TEST_F(Pop3Faults, DroppedConnectionMidMessageFailsAtOnce) {
    // The default limits: a dropped connection must not wait them out.
    transport::resetLimitsForTesting();
    harness::ScriptedPop3Server s("127.0.2.47");
    s.greetAndLogin().reply("+OK\r\nSubject: lost\r\n\r\npart of the bo").hangUp();
    start(s);
    ASSERT_EQ(login(s), 0);
    const auto t = Clock::now();
    EXPECT_EQ(KOVAPOP3_GetMessage(1, dir_.file("m.NEW").c_str()), kResponseTimeout);
    EXPECT_LT(msSince(t), 2000);
    EXPECT_EQ(dir_.read("m.NEW"), "Subject: lost\r\n\r\npart of the bo");
    // The session is gone on the server's side; logging out reports it and closes ours.
    EXPECT_NE(KOVAPOP3_Logout(), 0);
    char buf[8];
    EXPECT_EQ(KOVAPOP3_GetMessageIDs(buf, sizeof buf), kNotLoggedIn);
}

TEST_F(Pop3Faults, DroppedConnectionMidListingFails) {
    transport::resetLimitsForTesting();
    harness::ScriptedPop3Server s("127.0.2.48");
    s.greetAndLogin().reply("+OK\r\n1 10\r\n").hangUp();
    start(s);
    ASSERT_EQ(login(s), 0);
    const auto t = Clock::now();
    char buf[32];
    EXPECT_EQ(KOVAPOP3_GetMessageIDs(buf, sizeof buf), kResponseTimeout);
    EXPECT_LT(msSince(t), 2000);
}

// A transfer that fails midway leaves the server's answer half read: the
// session closes, so the next call fails at once instead of taking the rest
// (or the status line of the next answer) for its own.
TEST_F(Pop3Faults, FailedTransferClosesTheSession) {
    struct Case {
        const char* name;
        bool listing;  // UIDL, else RETR 1
        std::function<void(harness::ScriptedPop3Server&)> script;
    };
    const Case cases[] = {
        {"message trickled a byte at a time", false,
         [](harness::ScriptedPop3Server& s) {
             s.reply("+OK\r\nSubject: slow\r\n\r\n");
             for (int i = 0; i < 40; ++i) s.send("x").pause(50);
         }},
        {"message stalled midway", false,
         [](harness::ScriptedPop3Server& s) { s.reply("+OK\r\nSubject: half\r\n\r\nhalf"); }},
        {"listing beyond any mailbox", true,
         [](harness::ScriptedPop3Server& s) {
             std::string big = "+OK\r\n";
             for (int i = 1; i <= 200; ++i) big += std::to_string(i) + " uid" + std::to_string(i) + "\r\n";
             s.reply(big);
         }},
        {"status line never ends", false,
         [](harness::ScriptedPop3Server& s) { s.reply("+OK " + std::string(70 * 1024, 'z')); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        transport::Limits l;
        l.replyMs = 3000;
        l.messageInactivityMs = 400;
        l.listInactivityMs = 400;
        l.transferBaseMs = 600;
        l.transferBytesPerSecond = 1000000;
        l.listingMaxBytes = 1000;
        transport::setLimitsForTesting(l);
        harness::ScriptedPop3Server s("127.0.2.49");
        s.greetAndLogin();
        c.script(s);
        // What a session out of step would read as the next answer.
        s.pause(1000).send("+OK\r\nSubject: stray\r\n\r\nstray\r\n.\r\n");
        start(s);
        ASSERT_EQ(login(s), 0);
        const auto t = Clock::now();
        char buf[64];
        if (c.listing)
            EXPECT_EQ(KOVAPOP3_GetMessageIDs(buf, sizeof buf), kResponseTimeout);
        else
            EXPECT_EQ(KOVAPOP3_GetMessage(1, dir_.file("m").c_str()), kResponseTimeout);
        EXPECT_LT(msSince(t), 2500);
        const auto after = Clock::now();
        EXPECT_EQ(KOVAPOP3_GetMessage(2, dir_.file("n").c_str()), kResponseTimeout);
        EXPECT_EQ(KOVAPOP3_DeleteMessage(1), kResponseTimeout);
        EXPECT_LT(msSince(after), 300);
        EXPECT_EQ(dir_.read("n"), "");
        EXPECT_NE(KOVAPOP3_Logout(), 0);
        ASSERT_TRUE(s.waitFinished(kFinishMs));
        for (const auto& cmd : s.commands()) EXPECT_TRUE(cmd != "RETR 2" && cmd != "DELE 1") << cmd;
    }
}

}  // namespace

// Logins a real server will not vary on demand: which SASL mechanisms CAPA
// lists, a token too long for the AUTH line, an error challenge, and the
// response codes of RFC 3206 that tell a refused login from a busy server.
TEST_F(Pop3Faults, LoginsByTokenAndRefusalsByTheirCodes) {
    const std::string shortToken = "t0ken";
    const std::string longToken(300, 'k');
    const std::string capaBoth = "+OK\r\nUSER\r\nSASL PLAIN OAUTHBEARER XOAUTH2\r\n.\r\n";
    struct Case {
        const char* name;
        bool bearer;
        std::string token;
        std::vector<std::string> replies;  // to CAPA (bearer) or USER, then each command
        int32_t result;
        std::vector<std::string> commands;  // what the client sent, '*' ending a prefix
    };
    const std::vector<Case> cases = {
        {"OAUTHBEARER preferred, response on the AUTH line", true, shortToken, {capaBoth, "+OK Logged in.\r\n"}, 0,
         {"CAPA", "AUTH OAUTHBEARER bixhPWxpc3RAZXhhbXBsZS5vcmcsAWF1dGg9QmVhcmVyIHQwa2VuAQE="}},
        {"XOAUTH2 only, long token after the challenge", true, longToken,
         {"+OK\r\nSASL XOAUTH2\r\n.\r\n", "+ \r\n", "+OK Logged in.\r\n"}, 0,
         {"CAPA", "AUTH XOAUTH2", "dXNlcj1saXN0QGV4YW1wbGUub3JnAWF1dGg9QmVhcmVyIGtra2*"}},
        {"error challenge answered, then refused", true, shortToken,
         {capaBoth, "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n", "-ERR [AUTH] Authentication failed.\r\n"}, -44,
         {"CAPA", "AUTH OAUTHBEARER *", "AQ=="}},
        {"no token mechanism offered", true, shortToken, {"+OK\r\nSASL PLAIN\r\n.\r\n"}, -47, {"CAPA"}},
        {"server busy is not a refused token", true, shortToken, {capaBoth, "-ERR [SYS/TEMP] try later\r\n"},
         kIncorrectResponse, {"CAPA", "AUTH OAUTHBEARER *"}},
        {"password refused with [AUTH]", false, "", {"+OK\r\n", "-ERR [AUTH] Authentication failed.\r\n"}, -44,
         {"USER list@example.org", "PASS secret"}},
        {"mailbox in use", false, "", {"+OK\r\n", "-ERR [IN-USE] locked\r\n"}, kIncorrectResponse,
         {"USER list@example.org", "PASS secret"}},
        {"plain refusal keeps its old answer", false, "", {"+OK\r\n", "-ERR no\r\n"}, kIncorrectResponse,
         {"USER list@example.org", "PASS secret"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        harness::ScriptedPop3Server s("127.0.26." + std::to_string(10 + n++));
        s.send("+OK ready\r\n");
        for (const std::string& r : c.replies) s.reply(r);
        start(s);
        KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH);
        // The libraries send a token over TLS only; the exchange itself is the same in clear.
        MailSocket socket;
        ASSERT_EQ(socket.Connect(s.server().c_str(), 110, true, false), 0);
        ASSERT_EQ(pop3::readStatus(socket, 2000), 0);
        const int32_t r = c.bearer ? pop3::bearerLogin(socket, "list@example.org", c.token)
                                   : pop3::passwordLogin(socket, "list@example.org", "secret");
        EXPECT_EQ(r, c.result);
        socket.Disconnect();
        ASSERT_TRUE(s.waitFinished(kFinishMs));
        expectSentLines(s.commands(), c.commands, 255);  // RFC 5034
    }
}

TEST_F(Pop3Faults, TokenIsNeverSentInClear) {
    harness::ScriptedPop3Server s("127.0.26.30");
    s.send("+OK ready\r\n").acceptWithin(300);
    start(s);
    KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH | KOVA_BEARER_TOKEN);
    EXPECT_EQ(KOVAPOP3_Login(s.server().c_str(), "list", "t0ken"), -45);
    KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH);
    EXPECT_TRUE(s.commands().empty());
}
