#include <gtest/gtest.h>

#include <string>

#include "platform/SharedLibrary.h"
#include "tests/harness/ScriptedServer.h"
#include "transport/MailSocket.h"
#include "transport/OpenSslLibrary.h"
#include "transport/ResultCodes.h"

using harness::ScriptedServer;
using transport::OpenSslLibrary;

TEST(OpenSslLibrary, IncompleteWhenAFileOrAFunctionIsMissing) {
    struct Case {
        const char* name;
        const char* crypto;
        const char* ssl;
        bool complete;
        const char* errorHas;
    };
    const Case cases[] = {
        {"the system's pair", "libcrypto.so.3", "libssl.so.3", true, ""},
        {"no libcrypto", "libcrypto-absent.so.3", "libssl.so.3", false, "libcrypto-absent.so.3"},
        {"no libssl", "libcrypto.so.3", "libssl-absent.so.3", false, "libssl-absent.so.3"},
        // A library that loads but lacks the functions: the first one missing is named.
        {"libcrypto in libssl's place", "libcrypto.so.3", "libcrypto.so.3", false, "OPENSSL_init_ssl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OpenSslLibrary library(c.crypto, c.ssl);
        EXPECT_EQ(library.functions() != nullptr, c.complete) << library.error();
        EXPECT_NE(library.error().find(c.errorHas), std::string::npos) << library.error();
    }
}

TEST(OpenSslLibrary, PlainConnectionsNeverLoadItAndTheFirstTlsUseDoes) {
    ScriptedServer server("127.0.1.40");
    ASSERT_TRUE(server.start({ScriptedServer::send("+OK ready\r\n"), ScriptedServer::waitForClose()}));
    {
        MailSocket s;
        ASSERT_EQ(s.Connect(server.server().c_str(), 110, true, false), ResultCode::Success);
        std::string line;
        EXPECT_EQ(s.ReadLine(line, 1024, 5000), ResultCode::Success);
        EXPECT_EQ(line, "+OK ready\r\n");
        s.Disconnect();
    }
    EXPECT_TRUE(server.finish());
    EXPECT_FALSE(platform::SharedLibrary::isLoaded("libssl.so.3"));
    EXPECT_FALSE(platform::SharedLibrary::isLoaded("libcrypto.so.3"));
    EXPECT_EQ(transport::openSslIfLoaded(), nullptr);

    const transport::OpenSslFunctions* loaded = transport::openSsl();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(transport::openSslIfLoaded(), loaded);
    EXPECT_EQ(transport::openSsl(), loaded);
    EXPECT_TRUE(platform::SharedLibrary::isLoaded("libssl.so.3"));
}
