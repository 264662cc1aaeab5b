// The server certificate's name, checked as RFC 9525 says: the host must be
// among its subjectAltName entries, and a subject CN is never read.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/TcpSocket.h"
#include "tests/harness/DovecotServer.h"
#include "tests/harness/TestCa.h"
#include "transport/ResultCodes.h"
#include "transport/TlsChannel.h"

TEST(TlsName, HostMatchedBySubjectAltNameOnly) {
    const harness::TestCa ca;
    struct Case {
        const char* cn;
        const char* san;  // empty: none
        const char* host;
        int32_t expected;
    };
    const Case cases[] = {
        {"mail-san", "DNS:mail.test", "mail.test", ResultCode::Success},
        {"mail.test", "", "mail.test", ResultCode::HostNameMismatch},
        {"mail.test", "DNS:other.test", "mail.test", ResultCode::HostNameMismatch},
        {"127.0.24.4", "", "127.0.24.4", ResultCode::HostNameMismatch},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cn) + " / " + c.san);
        const std::string address = "127.0.24." + std::to_string(++n);
        const harness::ServerCertificate cert = ca.issue(c.cn, c.san);
        harness::DovecotServer dovecot(address);
        dovecot.enableTls(cert.cert, cert.key);
        std::string error;
        ASSERT_TRUE(dovecot.start(&error)) << error;

        platform::TcpSocket socket;
        ASSERT_EQ(socket.connect(address, dovecot.tlsPort(), true, 10000), platform::TcpSocket::ConnectResult::Ok);
        transport::TlsChannel tls(socket);
        EXPECT_EQ(tls.handshake(c.host, {ca.caFile()}, 10000), c.expected);
    }
}
