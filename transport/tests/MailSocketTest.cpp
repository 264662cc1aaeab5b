#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "tests/TempDir.h"
#include "tests/harness/ScriptedServer.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

using harness::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kAddress = "127.0.1.1";

int32_t expectText(MailSocket& s, const std::string& command, const std::string& expected, uint32_t ms = 5000) {
    return s.SendAndExpect(command.empty() ? nullptr : command.data(), static_cast<int32_t>(command.size()),
                           expected.data(), static_cast<int32_t>(expected.size()), ms);
}

long elapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

}  // namespace

TEST(MailSocket, StatusLineIsConsumedExactlyAndListingStaysBehind) {
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("+OK ready\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("+OK 2 messages\r\n1 120\r\n2 340\r\n.\r\n"),
                              ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 110, true, false), ResultCode::Success);
    EXPECT_EQ(expectText(s, "", "+OK"), ResultCode::Success);
    const std::string list = "LIST\r\n";
    ASSERT_EQ(s.SendAndExpectLine(list.data(), 6, "+OK", 3, "\r\n", 2, 5000), ResultCode::Success);
    ASSERT_TRUE(s.WaitForBytes(13, 5000));
    char buf[64] = {};
    int32_t got = 0;
    EXPECT_EQ(s.ReadUntil(buf, sizeof buf, "\r\n", 2, &got), ResultCode::TerminatorFound);
    EXPECT_EQ(std::string(buf, got), "1 120\r\n");
    EXPECT_TRUE(s.DataEvent().isSet());  // the rest is still waiting
    EXPECT_EQ(s.Read(buf, sizeof buf, &got), ResultCode::Success);
    EXPECT_EQ(std::string(buf, got), "2 340\r\n.\r\n");
    EXPECT_FALSE(s.DataEvent().isSet());
    EXPECT_EQ(s.Read(buf, sizeof buf, nullptr), ResultCode::NullPointer);
    s.Disconnect();
    EXPECT_TRUE(server.finish());
}

TEST(MailSocket, RepliesCutInPiecesAreJudgedWhole) {
    // "2" then "50 ok": a reply compared from a fragment would fail; a
    // multi-line reply is judged by its last line; a CR LF split across reads.
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("2"), ScriptedServer::pause(60), ScriptedServer::send("20 hi\r\n"),
                              ScriptedServer::readLine(), ScriptedServer::send("250-first\r\n"),
                              ScriptedServer::pause(60), ScriptedServer::send("250 last\r"),
                              ScriptedServer::pause(60), ScriptedServer::send("\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("250-fine\r\n554 but no\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("+OK\r"), ScriptedServer::pause(60),
                              ScriptedServer::send("\nafter\r\n"), ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 25, true, false), ResultCode::Success);
    EXPECT_EQ(expectText(s, "", "220"), ResultCode::Success);
    EXPECT_EQ(expectText(s, "ehlo x\r\n", "250"), ResultCode::Success);
    EXPECT_EQ(expectText(s, "mail from:<a@b>\r\n", "250"), ResultCode::IncorrectResponse);
    EXPECT_EQ(s.SendAndExpectLine("STAT\r\n", 6, "+OK", 3, "\r\n", 2, 5000), ResultCode::Success);
    ASSERT_TRUE(s.WaitForBytes(6, 5000));
    EXPECT_EQ(s.BytesAvailable(), 7);
    s.Disconnect();
    EXPECT_TRUE(server.finish());
}

TEST(MailSocket, SilenceTimesOutWithinTheLimitAndShortRepliesDoNotMatch) {
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("+O\r\n"), ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 110, true, false), ResultCode::Success);
    EXPECT_EQ(expectText(s, "", "+OK"), ResultCode::IncorrectResponse);  // never compared beyond what arrived
    const auto t0 = Clock::now();
    EXPECT_EQ(expectText(s, "NOOP\r\n", "+OK", 200), ResultCode::ResponseTimeout);
    EXPECT_GE(elapsedMs(t0), 180);
    EXPECT_LT(elapsedMs(t0), 3000);
    s.Disconnect();
    EXPECT_TRUE(server.finish());
}

TEST(MailSocket, DroppedConnectionEndsTheWaitAtOnce) {
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("+OK hi\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::close()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 110, true, false), ResultCode::Success);
    EXPECT_EQ(expectText(s, "", "+OK"), ResultCode::Success);
    const auto t0 = Clock::now();
    EXPECT_EQ(expectText(s, "RETR 1\r\n", "+OK", 60000), ResultCode::ResponseTimeout);
    EXPECT_LT(elapsedMs(t0), 5000);
    EXPECT_TRUE(s.LinkBroken());
    EXPECT_TRUE(server.finish());
}

TEST(MailSocket, RefusedConnectAndUnresolvableHostGiveMinusThreeQuickly) {
    MailSocket s;
    const auto t0 = Clock::now();
    EXPECT_EQ(s.Connect("127.0.1.1:9", 25, true, false), ResultCode::PortNotOpened);
    EXPECT_EQ(s.Connect("no-such-host.invalid", 25, true, false), ResultCode::PortNotOpened);
    EXPECT_EQ(s.Connect("127.0.1.1:99999", 25, true, false), ResultCode::PortNotOpened);
    EXPECT_LT(elapsedMs(t0), 5000);
    EXPECT_FALSE(s.IsConnected());
    EXPECT_EQ(s.Connect(nullptr, 25, true, false), ResultCode::NullPointer);
}

TEST(MailSocket, Base64FileLayoutAndTranscript) {
    TempDir dir;
    dir.write("empty", "");
    dir.write("four", "abcd");
    dir.write("full", std::string(45, 'M'));
    std::string line;
    for (int i = 0; i < 15; ++i) line += "TU1N";
    const std::string expected = "\r\n\r\nYWJjZA==\r\n\r\n" + line + "\r\n\r\n\r\n";

    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("220 hi\r\n"), ScriptedServer::readUntil(expected),
                              ScriptedServer::send("250 got it\r\n"), ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 25, true, true), ResultCode::Success);
    EXPECT_EQ(expectText(s, "", "220"), ResultCode::Success);
    EXPECT_EQ(s.SendFileBase64(dir.file("missing").c_str()), ResultCode::FileNotOpened);
    EXPECT_EQ(s.SendFileBase64(nullptr), ResultCode::NullPointer);
    EXPECT_EQ(s.SendFileBase64(dir.file("empty").c_str()), ResultCode::Success);
    EXPECT_EQ(s.SendFileBase64(dir.file("four").c_str()), ResultCode::Success);
    EXPECT_EQ(s.SendFileBase64(dir.file("full").c_str()), ResultCode::Success);
    EXPECT_EQ(expectText(s, "", "250"), ResultCode::Success);

    const std::string all = "220 hi\r\n" + expected + "250 got it\r\n";
    EXPECT_EQ(s.GetTranscript().str(), all);
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(s.CopyTranscript(small, 0), 0);
    EXPECT_EQ(s.CopyTranscript(small, 1), 0);
    EXPECT_EQ(std::string(small, 4), "xxxx");
    EXPECT_EQ(s.CopyTranscript(small, 4), 3);
    EXPECT_EQ(std::string(small, 4), "220x");  // no terminator written
    EXPECT_EQ(s.CopyTranscript(nullptr, 1000), static_cast<int32_t>(all.size()));
    s.ClearTranscript();
    EXPECT_EQ(s.GetTranscript().size(), 0u);
    s.Disconnect();
    EXPECT_EQ(server.received(), expected);
    EXPECT_TRUE(server.finish());
}

TEST(MailSocket, ReplyClockStartsWhenQueuedDataHasGoneOut) {
    // A slow reader takes well over the reply limit to receive 6 MB; the
    // reply that follows must still be awaited, and every byte arrive.
    const std::string big(6 << 20, 'q');
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("220 hi\r\n"), ScriptedServer::slowReadUntil("END\r\n", 65536, 4),
                              ScriptedServer::send("250 ok\r\n"), ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 25, true, false), ResultCode::Success);
    EXPECT_EQ(expectText(s, "", "220"), ResultCode::Success);
    ASSERT_EQ(s.Send(big), ResultCode::Success);
    const auto t0 = Clock::now();
    EXPECT_EQ(expectText(s, "END\r\n", "250", 150), ResultCode::Success);
    EXPECT_GT(elapsedMs(t0), 150);  // otherwise the test proves nothing
    s.Disconnect();
    EXPECT_TRUE(server.finish());
    EXPECT_EQ(server.received().size(), big.size() + 5);
}

TEST(MailSocket, NewSessionStartsWithEmptyReceiveBuffer) {
    ScriptedServer first(kAddress);
    ASSERT_TRUE(first.start({ScriptedServer::send("+OK one\r\nleftover\r\n"), ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(first.server().c_str(), 110, true, false), ResultCode::Success);
    EXPECT_EQ(s.SendAndExpectLine(nullptr, 0, "+OK", 3, "\r\n", 2, 5000), ResultCode::Success);
    s.Disconnect();
    EXPECT_TRUE(first.finish());

    ScriptedServer second(kAddress);
    ASSERT_TRUE(second.start({ScriptedServer::send("+OK two\r\n"), ScriptedServer::waitForClose()}));
    ASSERT_EQ(s.Connect(second.server().c_str(), 110, true, false), ResultCode::Success);
    EXPECT_EQ(s.SendAndExpectLine(nullptr, 0, "+OK two", 7, "\r\n", 2, 5000), ResultCode::Success);
    s.Disconnect();
    EXPECT_TRUE(second.finish());
}

namespace {

// Lands the whole reply between the wait's look at the receive buffer and its
// sleep: the reader thread has appended it before the hook returns.
void waitUntilReplyArrived(void* context) {
    auto* s = static_cast<MailSocket*>(context);
    for (int i = 0; i < 5000 && s->BytesAvailable() < 10; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

TEST(MailSocket, ReplyLandingBetweenLookAndSleepIsNotMissed) {
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("+OK ready\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("+OK done\r\n"), ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 110, true, false), ResultCode::Success);
    ASSERT_EQ(s.SendAndExpectLine(nullptr, 0, "+OK", 3, "\r\n", 2, 5000), ResultCode::Success);

    transport::setReplyWaitHookForTesting(waitUntilReplyArrived, &s);
    const auto start = Clock::now();
    // A missed wake-up sleeps through the whole limit and still succeeds, so
    // only the time shows it: far below the limit means the reply was seen.
    const int32_t r = s.SendAndExpectLine("NOOP\r\n", 6, "+OK", 3, "\r\n", 2, 60000);
    transport::setReplyWaitHookForTesting(nullptr, nullptr);
    EXPECT_EQ(r, ResultCode::Success);
    EXPECT_LT(elapsedMs(start), 10000);
    s.Disconnect();
    EXPECT_TRUE(server.finish());
}

// Replies a session must never take as the answer to its command: bytes sent
// before the command went out, and replies too long to be one. Each fails
// fast, well inside the reply limit, and sends nothing it should not.
TEST(MailSocket, UnaskedAndOverlongRepliesFail) {
    const std::string longLine(70 * 1024, 'x');
    std::string longMultiLine;
    while (longMultiLine.size() <= 70 * 1024) longMultiLine += "250-" + std::string(1000, 'y') + "\r\n";
    struct Case {
        const char* name;
        std::string greeting;   // sent at once, read as a status line
        std::string command;    // then sent with SendAndExpect
        int32_t greetingResult;
        int32_t commandResult;
        std::string serverSees;
    };
    const Case cases[] = {
        {"two replies to one command", "+OK hi\r\n+OK stale\r\n", "NOOP\r\n", ResultCode::Success,
         ResultCode::IncorrectResponse, ""},
        {"greeting without a line end", longLine, "", ResultCode::ResponseTimeout, 0, ""},
        {"endless multi-line reply", "+OK hi\r\n", "EHLO x\r\n", ResultCode::Success, ResultCode::ResponseTimeout,
         "EHLO x\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(kAddress);
        std::vector<ScriptedServer::Step> script{ScriptedServer::send(c.greeting)};
        if (!c.command.empty() && c.commandResult == ResultCode::ResponseTimeout) {
            script.push_back(ScriptedServer::readLine());
            script.push_back(ScriptedServer::send(longMultiLine));
        }
        script.push_back(ScriptedServer::waitForClose());
        ASSERT_TRUE(server.start(script));
        MailSocket s;
        ASSERT_EQ(s.Connect(server.server().c_str(), 110, true, false), ResultCode::Success);
        const auto t = Clock::now();
        EXPECT_EQ(s.SendAndExpectLine(nullptr, 0, "+OK", 3, "\r\n", 2, 10000), c.greetingResult);
        if (!c.command.empty()) {
            EXPECT_EQ(expectText(s, c.command, "250", 10000), c.commandResult);
        }
        EXPECT_LT(elapsedMs(t), 5000);
        s.Disconnect();
        EXPECT_TRUE(server.finish());
        EXPECT_EQ(server.received(), c.serverSees);
    }
}

// Replies to grouped commands arrive together, or cut anywhere: each read
// takes exactly one reply, every line of a multi-line one, and leaves the rest.
TEST(MailSocket, ReadReplyTakesOneReplyAtATime) {
    using S = ScriptedServer;
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({S::send("220-hello\r\n220 there\r\n250 ok\r\n35"), S::pause(50), S::send("4 go\r\n25"),
                              S::pause(50), S::send("0 queued\r\n"), S::close()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 25, true, false), ResultCode::Success);
    for (const char* expected : {"220-hello\r\n220 there\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n"}) {
        std::string reply;
        EXPECT_EQ(s.ReadReply(reply, 5000), ResultCode::Success);
        EXPECT_EQ(reply, expected);
    }
    // Nothing more will come: the closed link ends the wait at once.
    const auto t0 = Clock::now();
    std::string reply;
    EXPECT_EQ(s.ReadReply(reply, 5000), ResultCode::ResponseTimeout);
    EXPECT_LT(elapsedMs(t0), 2000);
    EXPECT_EQ(reply, "");
}
