// Delivery over TLS with authentication through the library export, into
// Python sinks on loopback that speak STARTTLS, implicit TLS and AUTH with
// certificates from a private authority made for the test.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "KOVASMTP.h"
#include "smtp/tests/Base64Decode.h"
#include "tests/TempDir.h"
#include "tests/harness/SmtpSink.h"
#include "tests/harness/TestCa.h"
#include "tests/harness/TlsFaultServer.h"
#include "transport/ResultCodes.h"

using harness::SmtpSink;
using harness::TestCa;

namespace {

enum class Sink { StartTls, Tls, PlainAuth, WrongName, UnknownIssuer, Expired };

struct Sinks {
    TestCa ca;
    std::vector<std::unique_ptr<SmtpSink>> sinks;
    SmtpSink& of(Sink s) { return *sinks[static_cast<size_t>(s)]; }
};

Sinks* sinks = nullptr;

// Each test runs in a process of its own, possibly beside the others: each
// gets its own block of addresses.
int addressBase = 140;
std::string address(Sink s) { return "127.0.12." + std::to_string(addressBase + static_cast<int>(s)); }

std::string send(const std::string& server, int32_t* result, const char* attachments = nullptr) {
    std::string transcript(1 << 16, '\0');
    const std::string body = "Hello over TLS\r\n";
    *result = KOVASMTP_SendEMail(server.c_str(), "list@example.org", "ann@example.org", nullptr, "TLS test",
                                 body.data(), static_cast<int32_t>(body.size()), attachments, transcript.data(),
                                 static_cast<int32_t>(transcript.size()));
    transcript.resize(transcript.find('\0'));
    return transcript;
}

class SmtpTls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The test this process was started for, by its filter.
        const std::string filter = ::testing::GTEST_FLAG(filter);
        const std::string test = filter.substr(filter.find('.') + 1);
        addressBase = test.starts_with("Large") ? 150 : test.starts_with("Slow") ? 160 : 140;
        sinks = new Sinks;
        using Mode = SmtpSink::TlsMode;
        for (Sink s : {Sink::StartTls, Sink::Tls, Sink::PlainAuth, Sink::WrongName, Sink::UnknownIssuer,
                       Sink::Expired}) {
            const std::string ip = "IP:" + address(s);
            const std::string name = std::to_string(static_cast<int>(s));
            harness::ServerCertificate cert;
            Mode mode = Mode::Tls;
            uint16_t port = 465;
            switch (s) {
                case Sink::StartTls: cert = sinks->ca.issue(name, ip), mode = Mode::StartTls, port = 587; break;
                case Sink::Tls: cert = sinks->ca.issue(name, ip); break;
                case Sink::PlainAuth: mode = Mode::Plain, port = 25; break;
                case Sink::WrongName: cert = sinks->ca.issue(name, "IP:127.0.12.250"), mode = Mode::StartTls, port = 587; break;
                case Sink::UnknownIssuer: cert = sinks->ca.issue(name, ip, TestCa::Issuer::Unknown); break;
                case Sink::Expired: cert = sinks->ca.issue(name, ip, TestCa::Issuer::Trusted, true); break;
            }
            auto sink = std::make_unique<SmtpSink>(SmtpSink::Kind::Python, address(s), port);
            if (mode != Mode::Plain) sink->enableTls(mode, cert.cert, cert.key);
            sink->requireAuth("alice", "secret");
            std::string error;
            ASSERT_TRUE(sink->start(&error)) << error;
            sinks->sinks.push_back(std::move(sink));
        }
    }
    static void TearDownTestSuite() {
        delete sinks;
        sinks = nullptr;
    }
    void TearDown() override { KOVASMTP_SetSecurity(KOVA_SECURITY_NONE, nullptr, nullptr, nullptr, 0); }
    TempDir dir_;
};

TEST_F(SmtpTls, EachModeAndEachUnfitServerGivesItsResult) {
    const std::string ca = sinks->ca.caFile();
    struct Case {
        const char* name;
        Sink sink;
        int32_t security;
        const char* password;
        int32_t flags;
        int32_t expected;
        bool reachesServer;  // anything at all was sent
    };
    const std::vector<Case> cases = {
        {"STARTTLS and AUTH on 587", Sink::StartTls, KOVA_SECURITY_STARTTLS, "secret", 0, 0, true},
        {"implicit TLS and AUTH on 465", Sink::Tls, KOVA_SECURITY_TLS, "secret", 0, 0, true},
        {"wrong password", Sink::StartTls, KOVA_SECURITY_STARTTLS, "wrong", 0, ResultCode::AuthenticationRefused,
         true},
        {"STARTTLS not offered: no fallback", Sink::PlainAuth, KOVA_SECURITY_STARTTLS, "secret", 0,
         ResultCode::StartTlsNotOffered, true},
        {"AUTH in clear not allowed", Sink::PlainAuth, KOVA_SECURITY_NONE, "secret", 0, ResultCode::PlainAuthRefused,
         false},
        {"AUTH in clear allowed in so many words", Sink::PlainAuth, KOVA_SECURITY_NONE, "secret",
         KOVA_ALLOW_PLAIN_AUTH, 0, true},
        {"certificate for another host", Sink::WrongName, KOVA_SECURITY_STARTTLS, "secret", 0,
         ResultCode::HostNameMismatch, true},
        {"unknown issuer", Sink::UnknownIssuer, KOVA_SECURITY_TLS, "secret", 0, ResultCode::CertificateUntrusted,
         true},
        {"expired certificate", Sink::Expired, KOVA_SECURITY_TLS, "secret", 0, ResultCode::CertificateExpired, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpSink& sink = sinks->of(c.sink);
        const size_t before = sink.messages().size();
        ASSERT_EQ(KOVASMTP_SetSecurity(c.security, ca.c_str(), "alice", c.password, c.flags), 0);
        int32_t r;
        // Without a port the mode's standard port is used.
        const uint16_t standard = c.security == KOVA_SECURITY_TLS        ? 465
                                  : c.security == KOVA_SECURITY_STARTTLS ? 587
                                                                         : 25;
        const std::string server =
            sink.port() == standard ? sink.address() : sink.address() + ":" + std::to_string(sink.port());
        const std::string t = send(server, &r);
        EXPECT_EQ(r, c.expected) << t;
        const auto msgs = sink.messages();
        EXPECT_EQ(msgs.size(), before + (c.expected == 0 ? 1 : 0));
        if (c.expected == 0) {
            EXPECT_EQ(msgs.back().authUser, "alice");
            EXPECT_EQ(msgs.back().tls, c.security != KOVA_SECURITY_NONE);
            EXPECT_TRUE(msgs.back().data.ends_with("Hello over TLS\r\n"));
            EXPECT_NE(t.find("ehlo example.org\r\n"), std::string::npos) << t;
            // The transcript shows that AUTH went out, never what it carried.
            EXPECT_NE(t.find("\r\nAUTH PLAIN ********\r\n"), std::string::npos) << t;
        } else {
            EXPECT_EQ(t.find("mail from"), std::string::npos) << t;
        }
        // Never a credential on a connection that is not what was asked for.
        if (c.expected != 0 && c.expected != ResultCode::AuthenticationRefused) {
            EXPECT_EQ(t.find("\r\nAUTH "), std::string::npos) << t;
        }
        if (!c.reachesServer) {
            EXPECT_EQ(t, "");
        }
    }
    // A mistyped mode never ends in a plain delivery.
    EXPECT_EQ(KOVASMTP_SetSecurity(7, nullptr, nullptr, nullptr, 0), ResultCode::InvalidParameter);
    int32_t r;
    EXPECT_EQ(send(sinks->of(Sink::PlainAuth).server(), &r), "");
    EXPECT_EQ(r, ResultCode::InvalidParameter);
}

TEST_F(SmtpTls, LargeAttachmentArrivesByteForByteOverTls) {
    std::string content(5u << 20, '\0');
    std::mt19937 random(12);
    for (auto& c : content) c = static_cast<char>(random());
    dir_.write("big.bin", content);
    const std::string ca = sinks->ca.caFile();
    for (Sink s : {Sink::StartTls, Sink::Tls}) {
        SmtpSink& sink = sinks->of(s);
        const size_t before = sink.messages().size();
        ASSERT_EQ(KOVASMTP_SetSecurity(s == Sink::Tls ? KOVA_SECURITY_TLS : KOVA_SECURITY_STARTTLS, ca.c_str(),
                                       "alice", "secret", 0),
                  0);
        int32_t r;
        send(sink.address(), &r, dir_.file("big.bin").c_str());
        ASSERT_EQ(r, 0);
        const auto msgs = sink.messages();
        ASSERT_EQ(msgs.size(), before + 1);
        const std::string& d = msgs.back().data;
        const size_t at = d.find("filename=\"big.bin\"\r\n\r\n");
        ASSERT_NE(at, std::string::npos);
        const size_t start = at + 22;
        const std::string body = d.substr(start, d.find("\r\n--__--__KOVA", start) - start);
        EXPECT_TRUE(decodeBase64(body) == content);
    }
}

TEST_F(SmtpTls, SlowReaderTakesALargeMessageWhole) {
    // The server takes the data at about 2 MB/s: sending waits on TLS while
    // the reader thread keeps reading from the same connection.
    const auto cert = sinks->ca.issue("slow", "IP:127.0.12.33");
    harness::TlsFaultServer server(harness::TlsFaultServer::Mode::SmtpSlow, "127.0.12.33", 465, cert.cert, cert.key);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    std::string content(3u << 20, '\0');
    std::mt19937 random(33);
    for (auto& c : content) c = static_cast<char>(random());
    dir_.write("slow.bin", content);
    ASSERT_EQ(KOVASMTP_SetSecurity(KOVA_SECURITY_TLS, sinks->ca.caFile().c_str(), "alice", "secret", 0), 0);
    int32_t r;
    const std::string t = send("127.0.12.33", &r, dir_.file("slow.bin").c_str());
    ASSERT_EQ(r, 0) << t.substr(0, 2000);
    const std::string d = server.data();
    const size_t at = d.find("filename=\"slow.bin\"\r\n\r\n");
    ASSERT_NE(at, std::string::npos);
    const size_t start = at + 22;
    EXPECT_TRUE(decodeBase64(d.substr(start, d.find("\r\n--__--__KOVA", start) - start)) == content);
}

}  // namespace
