#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/harness/ScriptedServer.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

using harness::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kAddress = "127.0.1.1";
constexpr size_t kLine = 64 * 1024;

long elapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::string readLine(MailSocket& s, uint32_t ms = 5000, int32_t* result = nullptr) {
    std::string line;
    const int32_t r = s.ReadLine(line, kLine, ms);
    if (result) *result = r;
    return line;
}

}  // namespace

TEST(MailSocket, ReadLineTakesExactlyOneLineAndLeavesTheRest) {
    // Pieces cut inside a line and inside its CR LF; a listing behind a status line.
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("+OK re"), ScriptedServer::pause(60), ScriptedServer::send("ady\r"),
                              ScriptedServer::pause(60), ScriptedServer::send("\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("+OK 2 messages\r\n1 120\r\n2 340\r\n.\r\n"),
                              ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 110, true, false), ResultCode::Success);
    EXPECT_EQ(readLine(s), "+OK ready\r\n");
    ASSERT_EQ(s.Send("LIST\r\n"), ResultCode::Success);
    EXPECT_EQ(readLine(s), "+OK 2 messages\r\n");
    ASSERT_TRUE(s.WaitForBytes(13, 5000));
    EXPECT_EQ(readLine(s), "1 120\r\n");
    EXPECT_TRUE(s.DataEvent().isSet());  // the rest is still waiting
    char buf[64] = {};
    const size_t got = s.Read(buf, sizeof buf);
    EXPECT_EQ(std::string(buf, got), "2 340\r\n.\r\n");
    EXPECT_FALSE(s.DataEvent().isSet());
    EXPECT_EQ(s.Read(buf, sizeof buf), 0u);
    s.Disconnect();
    EXPECT_TRUE(server.finish());
}

TEST(MailSocket, SilenceTimesOutWithinTheLimitAndABrokenLinkAtOnce) {
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("+OK hi\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("+OK half a line"), ScriptedServer::readLine(),
                              ScriptedServer::close()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 110, true, false), ResultCode::Success);
    EXPECT_EQ(readLine(s), "+OK hi\r\n");
    ASSERT_EQ(s.Send("NOOP\r\n"), ResultCode::Success);
    auto t0 = Clock::now();
    int32_t r = 0;
    EXPECT_EQ(readLine(s, 200, &r), "");
    EXPECT_EQ(r, ResultCode::ResponseTimeout);
    EXPECT_GE(elapsedMs(t0), 180);
    EXPECT_LT(elapsedMs(t0), 3000);
    // The half line stays; once the server has gone nothing completes it.
    ASSERT_EQ(s.Send("RETR 1\r\n"), ResultCode::Success);
    t0 = Clock::now();
    EXPECT_EQ(readLine(s, 60000, &r), "");
    EXPECT_EQ(r, ResultCode::ResponseTimeout);
    EXPECT_LT(elapsedMs(t0), 5000);
    EXPECT_TRUE(s.LinkBroken());
    EXPECT_TRUE(s.DiscardReceived());
    EXPECT_FALSE(s.DiscardReceived());
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

TEST(MailSocket, TranscriptHoldsBothDirectionsInOrder) {
    const std::string sent = "ehlo x\r\n";
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send("220 hi\r\n"), ScriptedServer::readLine(),
                              ScriptedServer::send("250 got it\r\n"), ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 25, true, true), ResultCode::Success);
    EXPECT_EQ(readLine(s), "220 hi\r\n");
    ASSERT_EQ(s.Send(sent), ResultCode::Success);
    EXPECT_EQ(readLine(s), "250 got it\r\n");

    const std::string all = "220 hi\r\n" + sent + "250 got it\r\n";
    EXPECT_EQ(s.GetTranscript().str(), all);
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(s.CopyTranscript(small, 0), 0u);
    EXPECT_EQ(s.CopyTranscript(small, 1), 0u);
    EXPECT_EQ(std::string(small, 4), "xxxx");
    EXPECT_EQ(s.CopyTranscript(small, 4), 3u);
    EXPECT_EQ(std::string(small, 4), "220x");  // no terminator written
    EXPECT_EQ(s.CopyTranscript(nullptr, 1000), all.size());
    s.ClearTranscript();
    EXPECT_EQ(s.GetTranscript().size(), 0u);
    s.Disconnect();
    EXPECT_EQ(server.received(), sent);
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
    EXPECT_EQ(readLine(s), "220 hi\r\n");
    ASSERT_EQ(s.Send(big), ResultCode::Success);
    ASSERT_EQ(s.Send("END\r\n"), ResultCode::Success);
    const auto t0 = Clock::now();
    EXPECT_EQ(readLine(s, 150), "250 ok\r\n");
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
    EXPECT_EQ(readLine(s), "+OK one\r\n");
    s.Disconnect();
    EXPECT_TRUE(first.finish());

    ScriptedServer second(kAddress);
    ASSERT_TRUE(second.start({ScriptedServer::send("+OK two\r\n"), ScriptedServer::waitForClose()}));
    ASSERT_EQ(s.Connect(second.server().c_str(), 110, true, false), ResultCode::Success);
    EXPECT_EQ(readLine(s), "+OK two\r\n");
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
    ASSERT_EQ(readLine(s), "+OK ready\r\n");

    transport::setReplyWaitHookForTesting(waitUntilReplyArrived, &s);
    const auto start = Clock::now();
    // A missed wake-up sleeps through the whole limit and still succeeds, so
    // only the time shows it: far below the limit means the reply was seen.
    ASSERT_EQ(s.Send("NOOP\r\n"), ResultCode::Success);
    const std::string line = readLine(s, 60000);
    transport::setReplyWaitHookForTesting(nullptr, nullptr);
    EXPECT_EQ(line, "+OK done\r\n");
    EXPECT_LT(elapsedMs(start), 10000);
    s.Disconnect();
    EXPECT_TRUE(server.finish());
}

// A line longer than the caller allows fails at once, well inside the
// reply limit, and the caller never holds more of it.
TEST(MailSocket, OverlongLineFailsFast) {
    ScriptedServer server(kAddress);
    ASSERT_TRUE(server.start({ScriptedServer::send(std::string(70 * 1024, 'x')), ScriptedServer::waitForClose()}));
    MailSocket s;
    ASSERT_EQ(s.Connect(server.server().c_str(), 110, true, false), ResultCode::Success);
    const auto t = Clock::now();
    int32_t r = 0;
    EXPECT_EQ(readLine(s, 10000, &r), "");
    EXPECT_EQ(r, ResultCode::ResponseTimeout);
    EXPECT_LT(elapsedMs(t), 5000);
    s.Disconnect();
    EXPECT_TRUE(server.finish());
    EXPECT_EQ(server.received(), "");
}
