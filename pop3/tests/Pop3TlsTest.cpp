// POP3 over TLS against real Dovecots on loopback, each with a certificate
// from a private authority made for the test: implicit TLS and STLS, and
// every way a certificate or a server can be unfit.
#include "pop3/KOVAPOP3.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/TempDir.h"
#include "tests/harness/DovecotServer.h"
#include "tests/harness/TestCa.h"
#include "tests/harness/TlsFaultServer.h"
#include "transport/ResultCodes.h"

namespace {

using harness::DovecotServer;
using harness::TestCa;

// One Dovecot per kind of certificate, each on its own address.
enum class Cert { Good, WrongName, Expired, UnknownIssuer, NoTls };

struct Servers {
    TestCa ca;
    std::vector<std::unique_ptr<DovecotServer>> dovecots;

    DovecotServer& of(Cert c) { return *dovecots[static_cast<size_t>(c)]; }
};

Servers* servers = nullptr;

// Each test runs in a process of its own, possibly beside the others: each
// gets its own block of addresses.
int addressBase = 100;
std::string address(Cert c) { return "127.0.12." + std::to_string(addressBase + static_cast<int>(c) + 1); }

int baseFor(const std::string& test) {
    if (test.starts_with("Refused")) return 110;
    if (test.starts_with("Large")) return 120;
    if (test.starts_with("Bytes")) return 130;
    return 100;
}

class Pop3Tls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The test this process was started for, by its filter.
        const std::string filter = ::testing::GTEST_FLAG(filter);
        addressBase = baseFor(filter.substr(filter.find('.') + 1));
        servers = new Servers;
        for (Cert c : {Cert::Good, Cert::WrongName, Cert::Expired, Cert::UnknownIssuer, Cert::NoTls}) {
            auto d = std::make_unique<DovecotServer>(address(c));
            d->addUser("alice", "secret");
            const std::string ip = "IP:" + address(c);
            harness::ServerCertificate cert;
            switch (c) {
                case Cert::Good: cert = servers->ca.issue("good", ip + ",DNS:mail.test"); break;
                case Cert::WrongName: cert = servers->ca.issue("wrong", "IP:127.0.12.250,DNS:other.test"); break;
                case Cert::Expired: cert = servers->ca.issue("expired", ip, TestCa::Issuer::Trusted, true); break;
                case Cert::UnknownIssuer: cert = servers->ca.issue("stranger", ip, TestCa::Issuer::Unknown); break;
                case Cert::NoTls: break;
            }
            if (c != Cert::NoTls) d->enableTls(cert.cert, cert.key);
            std::string error;
            ASSERT_TRUE(d->start(&error)) << error;
            servers->dovecots.push_back(std::move(d));
        }
    }
    static void TearDownTestSuite() {
        delete servers;
        servers = nullptr;
    }
    void TearDown() override {
        KOVAPOP3_Logout();
        KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH);
    }

    TempDir dir_;
};

TEST_F(Pop3Tls, EachModeAndEachUnfitServerGivesItsResult) {
    const std::string ca = servers->ca.caFile();
    struct Case {
        const char* name;
        Cert server;
        int32_t security;
        std::string caFile;
        int32_t flags;
        const char* password;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {"implicit TLS", Cert::Good, KOVA_SECURITY_TLS, ca, 0, "secret", 0},
        {"STLS", Cert::Good, KOVA_SECURITY_STARTTLS, ca, 0, "secret", 0},
        {"wrong password over TLS", Cert::Good, KOVA_SECURITY_TLS, ca, 0, "wrong", ResultCode::AuthenticationRefused},
        {"wrong password after STLS", Cert::Good, KOVA_SECURITY_STARTTLS, ca, 0, "wrong",
         ResultCode::AuthenticationRefused},
        {"no CA file: private CA not trusted", Cert::Good, KOVA_SECURITY_TLS, "", 0, "secret",
         ResultCode::CertificateUntrusted},
        {"CA file missing", Cert::Good, KOVA_SECURITY_TLS, dir_.file("none.pem"), 0, "secret",
         ResultCode::FileNotOpened},
        {"plain without permission", Cert::Good, KOVA_SECURITY_NONE, ca, 0, "secret", ResultCode::PlainAuthRefused},
        {"plain allowed, server insists on TLS", Cert::Good, KOVA_SECURITY_NONE, ca, KOVA_ALLOW_PLAIN_AUTH, "secret",
         ResultCode::IncorrectResponse},
        {"certificate for another host", Cert::WrongName, KOVA_SECURITY_TLS, ca, 0, "secret",
         ResultCode::HostNameMismatch},
        {"certificate for another host, STLS", Cert::WrongName, KOVA_SECURITY_STARTTLS, ca, 0, "secret",
         ResultCode::HostNameMismatch},
        {"expired certificate", Cert::Expired, KOVA_SECURITY_TLS, ca, 0, "secret", ResultCode::CertificateExpired},
        {"unknown issuer", Cert::UnknownIssuer, KOVA_SECURITY_TLS, ca, 0, "secret",
         ResultCode::CertificateUntrusted},
        {"unknown issuer, STLS", Cert::UnknownIssuer, KOVA_SECURITY_STARTTLS, ca, 0, "secret",
         ResultCode::CertificateUntrusted},
        {"no STLS offered: no fallback", Cert::NoTls, KOVA_SECURITY_STARTTLS, ca, 0, "secret",
         ResultCode::StartTlsNotOffered},
        {"nothing on the TLS port", Cert::NoTls, KOVA_SECURITY_TLS, ca, 0, "secret", ResultCode::PortNotOpened},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(KOVAPOP3_SetSecurity(c.security, c.caFile.empty() ? nullptr : c.caFile.c_str(), c.flags), 0);
        const std::string host = address(c.server);
        EXPECT_EQ(KOVAPOP3_Login(host.c_str(), "alice", c.password), c.expected);
        char buf[64];
        EXPECT_EQ(KOVAPOP3_GetMessageIDs(buf, sizeof buf), c.expected == 0 ? 3 : ResultCode::NotLoggedIn);
        KOVAPOP3_Logout();
    }
    // A mistyped mode never ends in a plain login.
    EXPECT_EQ(KOVAPOP3_SetSecurity(3, nullptr, KOVA_ALLOW_PLAIN_AUTH), ResultCode::InvalidParameter);
    EXPECT_EQ(KOVAPOP3_Login(address(Cert::NoTls).c_str(), "alice", "secret"), ResultCode::InvalidParameter);
}

TEST_F(Pop3Tls, RefusedCertificateSendsNoCredential) {
    const std::string ca = servers->ca.caFile();
    for (Cert c : {Cert::UnknownIssuer, Cert::WrongName, Cert::Expired}) {
        ASSERT_EQ(KOVAPOP3_SetSecurity(KOVA_SECURITY_STARTTLS, ca.c_str(), 0), 0);
        EXPECT_NE(KOVAPOP3_Login(address(c).c_str(), "alice", "secret"), 0);
    }
    for (Cert c : {Cert::UnknownIssuer, Cert::WrongName, Cert::Expired}) {
        const std::string log = servers->of(c).log();
        EXPECT_EQ(log.find("user=<alice>"), std::string::npos) << log;
        EXPECT_NE(log.find("no auth attempts"), std::string::npos) << log;
    }
}

TEST_F(Pop3Tls, LargeMessageArrivesByteForByteOverTls) {
    auto& server = servers->of(Cert::Good);
    std::string message = "Subject: big\r\n\r\n";
    for (int i = 0; message.size() < (5u << 20); ++i)
        message += "line " + std::to_string(i) + " .. \xe4\xf6 QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=\r\n";
    server.clearMaildir("alice");
    server.injectMessage("alice", message);
    const std::string ca = servers->ca.caFile();
    for (int32_t mode : {KOVA_SECURITY_TLS, KOVA_SECURITY_STARTTLS}) {
        ASSERT_EQ(KOVAPOP3_SetSecurity(mode, ca.c_str(), 0), 0);
        ASSERT_EQ(KOVAPOP3_Login(server.address().c_str(), "alice", "secret"), 0);
        ASSERT_EQ(KOVAPOP3_GetMessage(1, dir_.file("big.NEW").c_str()), 0);
        EXPECT_TRUE(dir_.read("big.NEW") == message + ".\r\n") << "mode " << mode;
        EXPECT_EQ(KOVAPOP3_Logout(), 0);
    }
    server.clearMaildir("alice");
}

TEST_F(Pop3Tls, BytesInjectedBehindTheStlsAnswerFailTheHandshake) {
    const auto cert = servers->ca.issue("inject", "IP:127.0.12.30");
    harness::TlsFaultServer server(harness::TlsFaultServer::Mode::Pop3Inject, "127.0.12.30", 110, cert.cert,
                                   cert.key);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    ASSERT_EQ(KOVAPOP3_SetSecurity(KOVA_SECURITY_STARTTLS, servers->ca.caFile().c_str(), 0), 0);
    EXPECT_EQ(KOVAPOP3_Login("127.0.12.30", "alice", "secret"), ResultCode::TlsHandshakeFailed);
    EXPECT_EQ(server.commands(), "STLS\n");  // and nothing after it, in clear or not
}

}  // namespace
