// libKOVAPOP3.so as its users load it: what it exports, and that unloading it
// with a session open closes the connection and ends the session's threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/SharedLibrary.h"
#include "tests/TempDir.h"
#include "tests/harness/ScriptedPop3Server.h"

namespace {

const std::string kLibrary = std::string(RINGPOST_HOME_DIR) + "libKOVAPOP3.so";

size_t threadCount() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

TEST(Pop3Library, ExportsOnlyItsCalls) {
    TempDir dir;
    platform::ChildProcess nm;
    std::string error;
    ASSERT_TRUE(nm.start({"nm", "-D", "--defined-only", kLibrary}, dir.file("nm.out"), &error)) << error;
    ASSERT_TRUE(nm.waitExit(30000));
    std::ifstream out(dir.file("nm.out"));
    std::set<std::string> names;
    for (std::string addr, type, name; out >> addr >> type >> name;) names.insert(name);
    for (const char* call : {"KOVAPOP3_Login", "KOVAPOP3_Logout", "KOVAPOP3_GetMessageSizes", "KOVAPOP3_GetMessageIDs",
                             "KOVAPOP3_GetMessage", "KOVAPOP3_DeleteMessage", "KOVAPOP3_GetMessageHeader",
                             "KOVAPOP3_DecodeAttachments"})
        EXPECT_EQ(names.count(call), 1u) << call;
    for (const auto& name : names) EXPECT_EQ(name.rfind("KOVAPOP3_", 0), 0u) << "also exported: " << name;
}

TEST(Pop3Library, UnloadingClosesTheSessionAndEndsItsThreads) {
    const size_t baseline = threadCount();
    auto server = std::make_unique<harness::ScriptedPop3Server>("127.0.2.70");
    server->greetAndLogin();
    std::string error;
    ASSERT_TRUE(server->start(&error)) << error;
    {
        platform::SharedLibrary lib;
        ASSERT_TRUE(lib.open(kLibrary, &error)) << error;
        using Login = int32_t (*)(const char*, const char*, const char*);
        auto login = reinterpret_cast<Login>(lib.symbol("KOVAPOP3_Login"));
        ASSERT_NE(login, nullptr);
        ASSERT_EQ(login(server->server().c_str(), "alice", "secret"), 0);
        // The server's thread and the session's reader (short commands need
        // no writer thread).
        EXPECT_EQ(threadCount(), baseline + 2);
    }
    EXPECT_FALSE(platform::SharedLibrary::isLoaded(kLibrary));
    // The session's threads were joined before the code went away (at most
    // the server's thread is still ending).
    EXPECT_LE(threadCount(), baseline + 1);
    // The connection was closed, without QUIT.
    ASSERT_TRUE(server->waitFinished(10000));
    EXPECT_EQ(server->commands(), (std::vector<std::string>{"USER alice", "PASS secret"}));
    server.reset();
    EXPECT_EQ(threadCount(), baseline);
}

}  // namespace
