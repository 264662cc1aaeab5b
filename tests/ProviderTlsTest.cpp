// Both mail libraries against a mail system set up as providers run theirs:
// Postfix submission (STARTTLS on 587, implicit TLS on 465, AUTH through
// Dovecot's SASL) delivering into mailboxes that Dovecot serves only over
// TLS; certificates from a private authority.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KOVAPOP3.h"
#include "KOVASMTP.h"
#include "tests/TempDir.h"
#include "tests/harness/MailSystem.h"
#include "transport/ResultCodes.h"

namespace {

constexpr char kAddress[] = "127.0.12.50";

int32_t send(const std::string& server, const std::string& subject, std::string* transcript = nullptr) {
    std::string t(1 << 16, '\0');
    const std::string body = "Sent to " + server + "\r\n";
    const int32_t r =
        KOVASMTP_SendEMail(server.c_str(), "list@example.org", "ann@example.org", nullptr, subject.c_str(),
                           body.data(), static_cast<int32_t>(body.size()), nullptr, t.data(),
                           static_cast<int32_t>(t.size()));
    if (transcript) *transcript = t.substr(0, t.find('\0'));
    return r;
}

TEST(ProviderTls, SubmissionAndMailboxOverTlsWithPostfixAndDovecot) {
    harness::MailSystem mail;
    std::string error;
    ASSERT_TRUE(mail.start(kAddress, {"list", "ann"}, &error)) << error;
    const std::string ca = mail.caFile();

    struct Case {
        const char* name;
        int32_t security;
        const char* server;
        const char* caFile;
        const char* password;
        int32_t flags;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {"STARTTLS and AUTH on 587", KOVA_SECURITY_STARTTLS, kAddress, ca.c_str(), "secret", 0, 0},
        {"implicit TLS and AUTH on 465", KOVA_SECURITY_TLS, kAddress, ca.c_str(), "secret", 0, 0},
        {"wrong password", KOVA_SECURITY_STARTTLS, kAddress, ca.c_str(), "wrong", 0,
         ResultCode::AuthenticationRefused},
        {"private CA not trusted", KOVA_SECURITY_TLS, kAddress, nullptr, "secret", 0,
         ResultCode::CertificateUntrusted},
        {"port 25 offers no AUTH", KOVA_SECURITY_NONE, "127.0.12.50:25", ca.c_str(), "secret",
         KOVA_ALLOW_PLAIN_AUTH, ResultCode::AuthNotOffered},
        {"AUTH in clear not allowed", KOVA_SECURITY_NONE, "127.0.12.50:25", ca.c_str(), "secret", 0,
         ResultCode::PlainAuthRefused},
    };
    int delivered = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(KOVASMTP_SetSecurity(c.security, c.caFile, "list", c.password, c.flags), 0);
        std::string t;
        EXPECT_EQ(send(c.server, c.name, &t), c.expected) << t;
        if (c.expected == 0) ++delivered;
    }
    KOVASMTP_SetSecurity(KOVA_SECURITY_NONE, nullptr, nullptr, nullptr, 0);
    ASSERT_TRUE(mail.waitFor("ann", delivered));
    // Postfix saw a SASL login only for the two good cases and the wrong password.
    const std::string log = mail.postfixLog();
    size_t logins = 0;
    for (size_t at = 0; (at = log.find("sasl_method=PLAIN", at)) != std::string::npos; ++at) ++logins;
    EXPECT_EQ(logins, 2u) << log;

    // The mailbox, over TLS both ways; each login takes what the other left.
    TempDir dir;
    for (int32_t mode : {KOVA_SECURITY_TLS, KOVA_SECURITY_STARTTLS}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(KOVAPOP3_SetSecurity(mode, ca.c_str(), 0), 0);
        EXPECT_EQ(KOVAPOP3_Login(kAddress, "ann", "wrong"), ResultCode::AuthenticationRefused);
        ASSERT_EQ(KOVAPOP3_Login(kAddress, "ann", "secret"), 0);
        ASSERT_EQ(KOVAPOP3_GetMessage(1, dir.file("m.NEW").c_str()), 0);
        const std::string m = dir.read("m.NEW");
        EXPECT_NE(m.find("Sent to 127.0.12.50"), std::string::npos) << m;
        EXPECT_EQ(KOVAPOP3_DeleteMessage(1), 0);
        EXPECT_EQ(KOVAPOP3_Logout(), 0);
    }
    EXPECT_TRUE(mail.messages("ann").empty());
    KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH);
}

// A post's copies to several members go through one connection with one
// login, the commands of each grouped, since Postfix offers PIPELINING.
TEST(ProviderTls, OnePostThroughOneAuthenticatedSession) {
    constexpr char address[] = "127.0.12.51";
    harness::MailSystem mail;
    std::string error;
    const std::vector<std::string> members = {"ann", "bob", "cy", "dee"};
    std::vector<std::string> users = members;
    users.push_back("list");
    ASSERT_TRUE(mail.start(address, users, &error)) << error;
    ASSERT_EQ(KOVASMTP_SetSecurity(KOVA_SECURITY_STARTTLS, mail.caFile().c_str(), "list", "secret", 0), 0);
    KOVASMTP_Session* session = nullptr;
    ASSERT_EQ(KOVASMTP_OpenSession(address, "list@example.org", &session), 0);
    KOVASMTP_SetSecurity(KOVA_SECURITY_NONE, nullptr, nullptr, nullptr, 0);  // the session keeps its own
    const std::string body = "One post\r\n";
    for (size_t i = 0; i < members.size(); ++i) {
        SCOPED_TRACE(members[i]);
        const std::string to = members[i] + "@example.org";
        std::string t(1 << 16, '\0');
        EXPECT_EQ(KOVASMTP_SessionSend(session, to.c_str(), nullptr, "Post", body.data(),
                                       static_cast<int32_t>(body.size()), nullptr, nullptr, t.data(),
                                       static_cast<int32_t>(t.size())),
                  0);
        t.resize(t.find('\0'));
        if (i > 0) {
            EXPECT_NE(t.find("rset\r\nmail from:<list@example.org>\r\nrcpt to:<" + to + ">\r\ndata\r\n"),
                      std::string::npos)
                << t;
        }
        int32_t reply = -1, greeted = -1;
        EXPECT_EQ(KOVASMTP_SessionOutcome(session, &reply, &greeted), 0);
        EXPECT_EQ(reply, 0);
        EXPECT_EQ(greeted, 1);
    }
    EXPECT_EQ(KOVASMTP_CloseSession(session), 0);
    for (const auto& m : members) EXPECT_TRUE(mail.waitFor(m, 1)) << m;
    const std::string log = mail.postfixLog();
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = 0; (at = log.find(what, at)) != std::string::npos; ++at) ++n;
        return n;
    };
    // Postfix sums up each connection as it ends; the harness's readiness
    // probes said nothing.
    EXPECT_EQ(count("disconnect from") - count("commands=0/0"), 1u) << log;
    EXPECT_EQ(count("ehlo=2 starttls=1 auth=1 mail=4 rcpt=4 data=4 rset=3 quit=1"), 1u) << log;
}

}  // namespace
