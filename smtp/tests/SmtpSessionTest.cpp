// One post to many members through one session, into real sinks on loopback
// that refuse some recipients, close the connection between messages,
// answer 421, or break off after the end of the data.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "smtp/SmtpSession.h"
#include "tests/harness/ScriptedServer.h"
#include "tests/harness/SmtpSink.h"
#include "tests/harness/TestCa.h"
#include "transport/Limits.h"
#include "transport/ResultCodes.h"

using harness::SmtpSink;

namespace {

struct Case {
    const char* name;
    const char* address;
    SmtpSink::Kind kind;
    std::vector<std::string> options;  // the sink's fault switches
    bool secured;                      // STARTTLS, AUTH and PIPELINING
    std::vector<std::string> members;  // local parts at example.org
    std::vector<int32_t> results;      // per member
    std::vector<std::string> replies;  // per member: code and enhanced status of the reply that failed it
    int connections;
    bool pipelined;  // the server offers PIPELINING (plain lists greet with EHLO too)
};

const std::vector<std::string> kFive = {"ann", "bob", "cat", "dan", "eve"};
const std::vector<std::string> kNone(5);

const Case kCases[] = {
    {"RefusedAndBusyRecipientsFailAlone", "127.0.17.1", SmtpSink::Kind::Python, {}, false,
     {"ann", "refused1", "bob", "busy1", "cat"}, {0, -17, 0, -17, 0}, {"", "550 5.1.1", "", "451 4.3.2", ""}, 1,
     false},
    {"RefusedAndBusyRecipientsFailAlonePipelined", "127.0.17.2", SmtpSink::Kind::Python, {"--pipelining"}, true,
     {"ann", "refused1", "bob", "busy1", "cat"}, {0, -17, 0, -17, 0}, {"", "550 5.1.1", "", "451 4.3.2", ""}, 1,
     true},
    {"ServerClosesAfterTwoMessages", "127.0.17.3", SmtpSink::Kind::Python, {"--close-after", "2"}, false, kFive,
     {0, 0, 0, 0, 0}, kNone, 3, false},
    {"ServerClosesAfterTwoMessagesPipelined", "127.0.17.4", SmtpSink::Kind::Python,
     {"--close-after", "2", "--pipelining"}, true, kFive, {0, 0, 0, 0, 0}, kNone, 3, true},
    {"Mail421AfterTwoMessages", "127.0.17.5", SmtpSink::Kind::Python, {"--mail-421-after", "2"}, false, kFive,
     {0, 0, 0, 0, 0}, kNone, 3, false},
    {"Mail421AfterTwoMessagesPipelined", "127.0.17.6", SmtpSink::Kind::Python,
     {"--mail-421-after", "2", "--pipelining"}, true, kFive, {0, 0, 0, 0, 0}, kNone, 3, true},
    // A plain list greets with EHLO, so it groups its commands as well.
    {"PostfixSinkTakesAllThroughOneConnection", "127.0.17.7", SmtpSink::Kind::Postfix, {}, false,
     {"m1", "m2", "m3", "m4", "m5", "m6", "m7", "m8"}, std::vector<int32_t>(8, 0), std::vector<std::string>(8), 1,
     true},
    // A 4xx to every MAIL: each message is tried once more on a fresh
    // connection, never a third time.
    {"SoftRefusedMailTriedOnceMore", "127.0.17.8", SmtpSink::Kind::Postfix, {"-r", "MAIL"}, false,
     {"ann", "bob"}, {-17, -17}, {"450 4.3.0", "450 4.3.0"}, 4, false},
    // No answer to the end of the data: it may have been delivered, so it
    // is never sent again; the next message gets a fresh connection.
    {"BreakAfterEndOfDataIsNotResent", "127.0.17.9", SmtpSink::Kind::Postfix, {"-q", "."}, false,
     {"ann", "bob"}, {-18, -18}, {"", ""}, 2, true},
    // A refused RCPT in a group whose DATA the server still accepted: the
    // connection is dropped so no message goes to the recipients it took.
    {"RefusedRecipientAmongOthersOfOneCopy", "127.0.21.1", SmtpSink::Kind::Python, {"--pipelining"}, false,
     {"ann", "cat", "bob@example.org,refused2@example.org,dan"}, {0, 0, -17}, {"", "", "550 5.1.1"}, 1, true},
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class SmtpSession : public ::testing::TestWithParam<Case> {};

TEST_P(SmtpSession, EachMemberGetsExactlyItsResultAndOneCopy) {
    const Case& c = GetParam();
    std::optional<harness::TestCa> ca;
    const uint16_t port = c.secured ? 587 : 25;
    SmtpSink sink(c.kind, c.address, port, c.kind == SmtpSink::Kind::Postfix ? c.options : std::vector<std::string>{});
    smtp::Security security;
    if (c.secured) {
        ca.emplace();
        const auto cert = ca->issue("sink", std::string("IP:") + c.address);
        sink.enableTls(SmtpSink::TlsMode::StartTls, cert.cert, cert.key);
        sink.requireAuth("alice", "secret");
        security = {smtp::Security::StartTls, ca->caFile(), "alice", "secret", false};
    }
    if (c.kind == SmtpSink::Kind::Python) sink.addOptions(c.options);
    std::string error;
    ASSERT_TRUE(sink.start(&error)) << error;

    smtp::Session session(sink.address(), "list@example.org", security);
    const std::string body = "The post\r\n";
    for (size_t i = 0; i < c.members.size(); ++i) {
        const std::string to = c.members[i] + "@example.org";
        // The second message asks for no transcript; the third's is its own all the same.
        const bool record = i != 1;
        std::string transcript(1 << 16, '\0');
        const int32_t r = session.send(to.c_str(), nullptr, "Post", body.data(), body.size(), nullptr, nullptr,
                                       record ? transcript.data() : nullptr, record ? transcript.size() : 0);
        transcript.resize(transcript.find('\0'));
        if (record && c.results[i] == 0 && c.connections == 1) {
            EXPECT_NE(transcript.find("rcpt to:<" + to + ">"), std::string::npos) << transcript;
            EXPECT_EQ(transcript.find("rcpt to:<" + c.members[i == 0 ? 1 : 0] + "@"), std::string::npos) << transcript;
        }
        EXPECT_EQ(r, c.results[i]) << to << "\n" << transcript;
        const smtp::Reply& reply = session.reply();
        std::string decided = reply.code ? std::to_string(reply.code) : "";
        if (reply.status.present()) decided += " " + reply.status.text();
        EXPECT_EQ(decided, c.replies[i]) << to;
        EXPECT_TRUE(session.greeted());
        if (c.secured && i == 0) {
            // The opening goes with the first message only, its credential masked.
            EXPECT_NE(transcript.find("AUTH PLAIN ********\r\n"), std::string::npos) << transcript;
        } else if (c.pipelined && c.connections == 1 && record && i > 0) {
            EXPECT_NE(transcript.find("rset\r\nmail from:<list@example.org>\r\nrcpt to:<"), std::string::npos)
                << "not one group: " << transcript;
            if (c.secured) {
                EXPECT_EQ(transcript.find("AUTH"), std::string::npos);
            }
        }
    }
    EXPECT_EQ(session.connections(), c.connections);
    EXPECT_EQ(session.pipelining(), c.pipelined);
    session.close();

    size_t delivered = 0;
    for (int32_t r : c.results) delivered += r == 0 ? 1 : 0;
    if (c.kind == SmtpSink::Kind::Postfix) {
        if (c.results[0] == 0) {
            EXPECT_EQ(sink.messageFiles().size(), delivered);
        }
        return;
    }
    EXPECT_EQ(sink.messages().size(), delivered);
    std::map<std::string, int> copies;
    std::set<std::string> connections;
    for (const auto& m : sink.messages()) {
        for (const auto& r : m.rcptTos) ++copies[r];
        connections.insert(m.connection);
        if (c.secured) {
            EXPECT_EQ(m.authUser, "alice");
        }
    }
    for (size_t i = 0; i < c.members.size(); ++i)
        EXPECT_EQ(copies[c.members[i] + "@example.org"], c.results[i] == 0 ? 1 : 0) << c.members[i];
    EXPECT_EQ(connections.size(), static_cast<size_t>(c.connections));
}

INSTANTIATE_TEST_SUITE_P(Faults, SmtpSession, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A server that says something unasked after a message (as one does on
// its way out after an idle time-out): the next message must not take it
// for the answer to its RSET, but go to a fresh connection, which this
// one-connection server never greets.
TEST(SmtpSessionFault, UnaskedReplyBetweenMessagesMeansAFreshConnection) {
    using S = harness::ScriptedServer;
    transport::Limits l;
    l.replyMs = 300;
    transport::setLimitsForTesting(l);
    S server("127.0.17.20");
    ASSERT_TRUE(server.start({S::send("220 fake\r\n"), S::readLine(), S::send("250 hello\r\n"), S::readLine(),
                              S::send("250 ok\r\n"), S::readLine(), S::send("250 ok\r\n"), S::readLine(),
                              S::send("354 go\r\n"), S::readUntil("\r\n.\r\n"),
                              S::send("250 queued\r\n421 4.4.2 idle too long\r\n"), S::waitForClose()}));
    smtp::Session session(server.server(), "list@example.org", {});
    const std::string body = "hello\r\n";
    EXPECT_EQ(session.send("a@example.org", nullptr, "s", body.data(), 7, nullptr, nullptr, nullptr, 0),
              ResultCode::Success);
    std::string t(4096, '\0');
    EXPECT_EQ(session.send("b@example.org", nullptr, "s", body.data(), 7, nullptr, nullptr, t.data(), 4096),
              ResultCode::ResponseTimeout) << t.c_str();
    EXPECT_TRUE(server.finish());
    EXPECT_FALSE(session.greeted());
    EXPECT_EQ(server.received().find("\nrset\r\n"), std::string::npos) << server.received();
    transport::resetLimitsForTesting();
}

}  // namespace

namespace {

// A reply with a line that is no reply line: what follows it cannot be
// trusted to answer the next command, so the connection goes at once
// instead of taking the rest for the next reply.
TEST(SmtpSessionFault, MalformedReplyDropsTheConnection) {
    using S = harness::ScriptedServer;
    transport::Limits l;
    l.replyMs = 300;
    transport::setLimitsForTesting(l);
    S server("127.0.20.2");
    ASSERT_TRUE(server.start({S::send("220 fake\r\n"), S::readLine(), S::send("250 hello\r\n"), S::readLine(),
                              S::send("250-ok\r\nno reply line\r\n250 ok\r\n"), S::waitForClose()}));
    smtp::Session session(server.server(), "list@example.org", {});
    const std::string body = "hello\r\n";
    EXPECT_EQ(session.send("a@example.org", nullptr, "s", body.data(), body.size(), nullptr, nullptr, nullptr, 0),
              ResultCode::IncorrectResponse);
    EXPECT_EQ(session.lastReply(), 0);
    EXPECT_TRUE(server.finish(2000));  // closed without waiting for the session to end
    EXPECT_EQ(server.received(), "ehlo example.org\r\nmail from:<list@example.org>\r\n");
    transport::resetLimitsForTesting();
}

}  // namespace
