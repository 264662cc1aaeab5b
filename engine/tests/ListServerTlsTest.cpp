// The installed engine with a provider-style list: the mailbox on Dovecot
// over TLS, the mail sent through a submission server with STARTTLS and
// authentication, certificates from a private authority in the list's CA file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "tests/harness/ListHome.h"
#include "tests/harness/TestCa.h"

namespace {

constexpr char kAddress[] = "127.0.12.40";

std::string settings(const std::string& pop3, const std::string& smtp) {
    return std::string("[General]\r\nName=Club\r\nAdminSubscribe=0\r\nAdminSubmit=0\r\n[POP3]\r\nServer=") +
           kAddress + "\r\nUsername=list\r\nPassword=secret\r\n" + pop3 + "[SMTP]\r\nServer=" + kAddress +
           "\r\nFrom=list@example.org\r\nReplyTo=list@example.org\r\n" + smtp + "[Messages]\r\nKeep=5\r\n";
}

class ListServerTls : public testing::Test {
protected:
    void SetUp() override {
        const auto cert = ca.issue("mail", std::string("IP:") + kAddress);
        list.dovecot = std::make_unique<harness::DovecotServer>(kAddress);
        list.dovecot->addUser("list", "secret");
        list.dovecot->enableTls(cert.cert, cert.key);
        std::string error;
        ASSERT_TRUE(list.dovecot->start(&error)) << error;
        list.sink = std::make_unique<harness::SmtpSink>(harness::SmtpSink::Kind::Python, kAddress, 587);
        list.sink->enableTls(harness::SmtpSink::TlsMode::StartTls, cert.cert, cert.key);
        list.sink->requireAuth("list", "secret");
        ASSERT_TRUE(list.sink->start(&error)) << error;
        list.home.mkdir("club");
        list.home.write("club/Members.TXT", "_!_boss@example.org\r\nann@example.org\r\n");
    }

    void deliver(const std::string& from, const std::string& subject) {
        list.dovecot->injectMessage("list", "From: " + from + "\r\nTo: list@example.org\r\nSubject: " + subject +
                                                "\r\nDate: Mon, 6 Jan 2025 10:00:00 +0000\r\n\r\nbody\r\n");
    }

    harness::TestCa ca;
    harness::ListHome list;
};

TEST_F(ListServerTls, SubscribeSubmissionAndMemberListOverTls) {
    list.home.write("club/Settings.INI",
                    settings("Security=TLS\r\nCAFile=ca.pem\r\n",
                             "Security=STARTTLS\r\nUsername=list\r\nPassword=secret\r\nCAFile=" + ca.caFile() +
                                 "\r\n"));
    list.home.write("club/ca.pem", [&] {
        std::ifstream f(ca.caFile());
        return std::string(std::istreambuf_iterator<char>(f), {});
    }());
    deliver("carl@example.org", "subscribe");
    deliver("ann@example.org", "submit Tea");
    deliver("boss@example.org", "member list");
    std::string failure;
    const std::string out = list.pass(failure);
    EXPECT_EQ(failure, "");
    EXPECT_NE(out.find("Username: list...Success\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("FAILURE -"), std::string::npos) << out;
    EXPECT_EQ(list.home.read("club/Members.TXT"),
              "_!_boss@example.org\r\nann@example.org\r\ncarl@example.org\r\n");
    const auto mail = list.sink->messages();
    // The welcome, the submission to each of the three members, the member list.
    ASSERT_EQ(mail.size(), 5u) << out;
    std::set<std::string> postConnections;
    for (const auto& m : mail) {
        EXPECT_TRUE(m.tls);
        EXPECT_EQ(m.authUser, "list");
        if (m.data.find("Subject: Submission from ann@example.org - Tea") != std::string::npos)
            postConnections.insert(m.connection);
    }
    EXPECT_EQ(postConnections.size(), 1u);  // the post's three copies went through one session
    EXPECT_TRUE(list.dovecot->listMaildir("list").empty());
}

}  // namespace
