// The engine program in console mode, run from a temporary home directory
// with a temporary system directory, judged by what it prints.
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

#include "harness/DovecotServer.h"
#include "harness/EngineProcess.h"
#include "harness/ListHome.h"
#include "harness/ScriptedPop3Server.h"
#include "platform/Registry.h"
#include "tests/TempDir.h"
#include "text/TextRules.h"

namespace {

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\KOVARingpost";
const char kBanner[] = "Running in console mode...Press Ctrl-C to exit\n\n";

class EngineConsole : public testing::Test {
protected:
    void SetUp() override {
        harness::copyEngine(home.path());
        setenv("RINGPOST_SYSTEM_DIR", system.path().c_str(), 1);
    }
    void TearDown() override { unsetenv("RINGPOST_SYSTEM_DIR"); }

    // Lists poll a real (empty) mailbox, so a pass is what it is in service.
    void makeList(const std::string& dir, const std::string& name, const std::string& members,
                  const std::string& pop3Server = "127.0.0.1:1") {
        home.mkdir(dir);
        home.write(dir + "/Settings.INI", "[General]\r\nName=" + name + "\r\n[POP3]\r\nServer=" + pop3Server +
                                              "\r\nUsername=" + text::toLower(dir) + "\r\nPassword=pw\r\n");
        home.write(dir + "/Members.TXT", members);
    }
    void setWaitTime(uint32_t minutes) {
        platform::RegistryKey key;
        ASSERT_EQ(platform::regCreateKey(platform::RootKey::LocalMachine, kServiceKey, key), platform::kRegOk);
        ASSERT_EQ(platform::regSetDword(key, "WaitTimeInMinutes", minutes), platform::kRegOk);
    }
    bool run(const std::vector<std::string>& args) {
        return engine.start(home.file("RingpostSvc"), args, {"RINGPOST_SYSTEM_DIR=" + system.path()});
    }

    TempDir home, system;
    EngineProcess engine;
};

}  // namespace

TEST_F(EngineConsole, TwoPassesOverListsThenCtrlC) {
    harness::DovecotServer pop3("127.0.5.1");
    pop3.addUser("zoo", "pw");
    pop3.addUser("art", "pw");
    std::string error;
    ASSERT_TRUE(pop3.start(&error)) << error;
    makeList("zoo", "Zoo Keepers", "_!_boss@example.com\r\nann@example.com\r\n", pop3.server());
    makeList("Art", "Art Club", "solo@example.com\r\n", pop3.server());
    setWaitTime(30);  // ignored: the interval comes from the command line
    ASSERT_TRUE(run({"-start", "200"}));
    ASSERT_TRUE(engine.waitFor("Update Complete\n", 4)) << engine.output();
    engine.signal(SIGINT);
    EXPECT_EQ(engine.waitExit(), 0);
    auto update = [&](const std::string& name, const std::string& user) {
        return "\nUpdating " + name + " List\n  Removing old MSG files...\n  Removing old BAD files...\n"
               "  Removing old TMP files...\n  Connecting to: " + pop3.server() + "  Username: " + user +
               "...Success\n    Getting message IDs...Success\n    Parsing message IDs\n    Logging out.\n"
               "Update Complete\n";
    };
    const std::string pass = update("Art Club", "art") + update("Zoo Keepers", "zoo");
    const std::string expectedStart = std::string(kBanner) +
                                      "Opening registry...Success\n"
                                      "Update time is set to 0 minute(s).\n"
                                      "Initializing...\n"
                                      "Searching for lists...\n"
                                      "Adding Art List...\nReading settings...\nReading members...\nAdded 1 member.\n"
                                      "Adding zoo List...\nReading settings...\nReading members...\nAdded 2 members.\n"
                                      "Initialization Success\n" +
                                      pass + pass;
    const std::string& out = engine.output();
    EXPECT_EQ(out.substr(0, expectedStart.size()), expectedStart);
    const std::string tail = "Stopping KOVA(tm) Ringpost...Please wait\n";
    EXPECT_NE(out.find(tail), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 12), "Stopping...\n");
}

TEST_F(EngineConsole, CtrlCWhileWaitingEndsAtOnce) {
    makeList("one", "One", "");
    ASSERT_TRUE(run({"/START", "3600000"}));
    ASSERT_TRUE(engine.waitFor("Initialization Success\n"));
    engine.signal(SIGINT);
    EXPECT_EQ(engine.waitExit(5000), 0);
    EXPECT_EQ(EngineProcess::countOf(engine.output(), "Updating"), 0);
    EXPECT_NE(engine.output().find("Update time is set to 60 minute(s).\n"), std::string::npos);
    EXPECT_NE(engine.output().find("Initialization Success\nStopping KOVA(tm) Ringpost...Please wait\nStopping...\n"),
              std::string::npos);
}

TEST_F(EngineConsole, CtrlCDuringPassEndsAfterThatPass) {
    // A mailbox that answers slowly keeps the pass busy while Ctrl-C arrives.
    harness::ScriptedPop3Server pop3("127.0.5.2");
    pop3.pause(1500).greetAndLogin().reply("+OK\r\n.\r\n").reply("+OK bye\r\n");
    std::string error;
    ASSERT_TRUE(pop3.start(&error)) << error;
    makeList("slow", "Slow", "", pop3.server());
    ASSERT_TRUE(run({"-start", "100"}));
    ASSERT_TRUE(engine.waitFor("Connecting to: ")) << engine.output();
    engine.signal(SIGINT);
    EXPECT_EQ(engine.waitExit(), 0);
    const std::string& out = engine.output();
    const size_t stopping = out.find("Stopping KOVA(tm) Ringpost...Please wait\n");
    const size_t complete = out.find("Update Complete\n");
    ASSERT_NE(stopping, std::string::npos) << out;
    ASSERT_NE(complete, std::string::npos) << out;
    EXPECT_LT(stopping, complete);
    EXPECT_EQ(EngineProcess::countOf(out, "\nUpdating Slow List\n"), 1);
    EXPECT_EQ(out.substr(out.size() - 28), "Update Complete\nStopping...\n");
}

TEST_F(EngineConsole, NoListsAndNoServiceKey) {
    ASSERT_TRUE(run({"-start"}));
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.output(), std::string(kBanner) +
                                   "Opening registry...FAILURE. Check Event Log with Event Viewer for details.\n"
                                   "Update time is set to 1 minute(s).\n"
                                   "Initializing...\n"
                                   "Searching for lists...\n"
                                   "Initialization FAILURE! If you haven't created any lists, this message will appear.\n");
}

TEST_F(EngineConsole, IntervalFromRegistryWhenNoValidValueIsGiven) {
    makeList("one", "One", "");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-start"}, "2 minute(s)"},         // stored 0 clamps to 2
        {{"-start", "0"}, "2 minute(s)"},    // an interval of 0 counts as absent
        {{"-start", "-5"}, "2 minute(s)"},
        {{"-start", "soon"}, "2 minute(s)"},
        {{"-start", "1", "2"}, "2 minute(s)"},  // any other argument count
    };
    setWaitTime(0);
    for (const auto& [args, expected] : cases) {
        EngineProcess e;
        ASSERT_TRUE(e.start(home.file("RingpostSvc"), args, {"RINGPOST_SYSTEM_DIR=" + system.path()}));
        ASSERT_TRUE(e.waitFor("Initialization Success\n"));
        e.signal(SIGINT);
        EXPECT_EQ(e.waitExit(), 0);
        EXPECT_NE(e.output().find("Update time is set to " + expected + ".\n"), std::string::npos) << args[0];
    }
}

TEST_F(EngineConsole, UnknownSwitchEndsSilently) {
    ASSERT_TRUE(run({"-x"}));
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.output(), "");
}
