#include <gtest/gtest.h>

#include <string>

#include "transport/ServerAddress.h"

TEST(ServerAddress, ReadsHostAndPortOrRefuses) {
    struct Case {
        const char* text;
        bool valid;
        const char* host;
        uint16_t port;
    };
    const Case cases[] = {
        {"mail.example.org", true, "mail.example.org", 25},
        {"  mail.example.org  ", true, "mail.example.org", 25},
        {"127.0.0.5:2525", true, "127.0.0.5", 2525},
        {"host:65535", true, "host", 65535},
        {"::1", true, "::1", 25},
        {"fe80::1:2", true, "fe80::1:2", 25},
        {"[::1]", true, "::1", 25},
        {"[::1]:110", true, "::1", 110},
        {"host:", false, "", 0},
        {"host:0", false, "", 0},
        {"host:70000", false, "", 0},
        {"host:2x", false, "", 0},
        {":25", false, "", 0},
        {"", false, "", 0},
        {"[::1", false, "", 0},
        {"[::1]110", false, "", 0},
        {"[::1]:", false, "", 0},
        {"[]:25", false, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto a = transport::parseServerAddress(c.text, 25);
        ASSERT_EQ(a.has_value(), c.valid);
        if (!a) continue;
        EXPECT_EQ(a->host, c.host);
        EXPECT_EQ(a->port, c.port);
    }
}
