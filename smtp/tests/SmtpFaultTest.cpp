// Server behaviour real sinks will not produce on demand, with shortened limits.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "smtp/SmtpDelivery.h"
#include "tests/TempDir.h"
#include "tests/harness/ScriptedServer.h"
#include "transport/Limits.h"
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
                                          static_cast<int32_t>(body.size()), attachments, t.data(),
                                          static_cast<int32_t>(t.size()));
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
