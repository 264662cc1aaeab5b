// The fetch cycle over TLS when the link breaks in the middle of a message.
#include <gtest/gtest.h>

#include "engine/FetchMail.h"
#include "engine/ListSecurity.h"
#include "pop3/KOVAPOP3.h"
#include "tests/TempDir.h"
#include "tests/harness/TestCa.h"
#include "tests/harness/TlsFaultServer.h"

TEST(FetchMailTls, LinkDroppedMidMessageFailsWithTimeoutAndDeletesNothing) {
    harness::TestCa ca;
    const auto cert = ca.issue("drop", "IP:127.0.12.31");
    harness::TlsFaultServer server(harness::TlsFaultServer::Mode::Pop3Drop, "127.0.12.31", 995, cert.cert, cert.key);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;

    TempDir dir;
    MailList list;
    list.directory = dir.path() + "/";
    list.pop3Server = "127.0.12.31";
    list.pop3Username = "list";
    list.pop3Password = "secret";
    list.pop3Security = KOVA_SECURITY_TLS;
    list.pop3CAFile = ca.caFile();
    ApplyListSecurity(list);
    testing::internal::CaptureStdout();
    const bool stored = FetchMail(list);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(stored);
    EXPECT_NE(out.find("    Getting message: 1  ID: drop-1...FAILURE -18\n"), std::string::npos) << out;
    const std::string commands = server.commands();
    EXPECT_EQ(commands.find("DELE"), std::string::npos) << commands;
    EXPECT_NE(commands.find("RETR 1"), std::string::npos) << commands;
    KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH);
}
