// The mailbox fetch cycle against a real Dovecot, and against a scripted
// server for what Dovecot will not do on demand (a refused or cut-off RETR,
// hostile unique ids).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "engine/FetchMail.h"
#include "engine/ProcessNewMail.h"
#include "tests/harness/DovecotServer.h"
#include "tests/harness/EngineProcess.h"
#include "tests/harness/ScriptedPop3Server.h"
#include "tests/harness/SmtpSink.h"
#include "platform/FileSystem.h"
#include "tests/FileSizeLimit.h"
#include "tests/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string address(int n) { return "127.0.3." + std::to_string(n); }

std::string message(const std::string& subject, const std::string& body = "Hello") {
    return "From: ann@example.org\r\nTo: list@example.org\r\nSubject: " + subject + "\r\n\r\n" + body + "\r\n";
}

class FetchMailTest : public testing::Test {
protected:
    void SetUp() override {
        list.directory = dir.path() + "/";
        list.pop3Username = "list";
        list.pop3Password = "secret";
    }
    void TearDown() override { SetLoginPauseForTesting({}); }

    bool fetch() {
        testing::internal::CaptureStdout();
        const bool stored = FetchMail(list);
        output = testing::internal::GetCapturedStdout();
        return stored;
    }
    std::vector<std::string> spoolFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().filename() != "Fetched.IDS") names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void useDovecot(int n) {
        dovecot = std::make_unique<harness::DovecotServer>(address(n));
        dovecot->addUser("list", "secret");
        std::string error;
        ASSERT_TRUE(dovecot->start(&error)) << error;
        list.pop3Server = dovecot->server();
    }

    TempDir dir;
    MailList list;
    std::string output;
    std::unique_ptr<harness::DovecotServer> dovecot;
};

}  // namespace

TEST_F(FetchMailTest, EmptyMailboxLogsOutAndReportsNothing) {
    useDovecot(1);
    EXPECT_FALSE(fetch());
    EXPECT_EQ(output, "  Connecting to: " + list.pop3Server +
                          "  Username: list...Success\n    Getting message IDs...Success\n"
                          "    Parsing message IDs\n    Logging out.\n");
    EXPECT_TRUE(spoolFiles().empty());
}

TEST_F(FetchMailTest, StoresEachMessageAndEmptiesTheMailbox) {
    useDovecot(2);
    dovecot->injectMessage("list", message("one"));
    dovecot->injectMessage("list", message("two"));
    EXPECT_TRUE(fetch());
    EXPECT_EQ(spoolFiles().size(), 2u);
    for (const auto& name : spoolFiles()) EXPECT_TRUE(name.ends_with(".NEW")) << name;
    EXPECT_NE(output.find("    Getting message: 1  ID: "), std::string::npos);
    EXPECT_NE(output.find("...Success\n    Deleting message from server: 2...Success\n    Logging out.\n"),
              std::string::npos);
    EXPECT_TRUE(dovecot->listMaildir("list").empty());
}

// A password the server refused is not tried again in the pass: more tries
// only get the account locked and hold up the other lists.
TEST_F(FetchMailTest, RefusedPasswordIsTriedOncePerPass) {
    useDovecot(3);
    dovecot->injectMessage("list", message("hi"));
    list.pop3Password = "wrong";
    int pauses = 0;
    SetLoginPauseForTesting([&](uint32_t) { ++pauses; });
    EXPECT_FALSE(fetch());
    EXPECT_EQ(pauses, 0);
    EXPECT_TRUE(output.ends_with("Username: list...FAILURE -44\n")) << output;
    EXPECT_EQ(dovecot->listMaildir("list").size(), 1u);  // the mail waits
    dovecot->stop();  // its login processes write their last lines as it ends
    EXPECT_EQ(EngineProcess::countOf(dovecot->log(), "auth failed"), 1) << dovecot->log();
}

// A busy mailbox ([IN-USE], RFC 3206) is tried four times with pauses, the
// last failure ending the cycle; success on the way goes on normally.
TEST_F(FetchMailTest, BusyMailboxGetsFourTries) {
    for (const bool freedOnTheLastTry : {false, true}) {
        SCOPED_TRACE(freedOnTheLastTry);
        harness::ScriptedPop3Server server(freedOnTheLastTry ? "127.0.27.2" : "127.0.27.1");
        for (int i = 0; i < 4; ++i) {
            server.send("+OK ready\r\n").reply("+OK\r\n");
            if (i == 3 && freedOnTheLastTry)
                server.reply("+OK in\r\n").reply("+OK 0 messages\r\n.\r\n").reply("+OK bye\r\n");
            else
                server.reply("-ERR [IN-USE] locked\r\n").nextConnection();
        }
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        list.pop3Server = server.server();
        int pauses = 0;
        SetLoginPauseForTesting([&](uint32_t ms) {
            EXPECT_EQ(ms, 10000u);
            ++pauses;
        });
        EXPECT_FALSE(fetch());
        EXPECT_EQ(pauses, 3);
        const std::string refused = "FAILURE -17 on try ";
        EXPECT_NE(output.find("Username: list..." + refused + "1...Waiting 10 seconds.\n    " + refused +
                              "2...Waiting 10 seconds.\n    " + refused + "3...Waiting 10 seconds.\n    "),
                  std::string::npos)
            << output;
        EXPECT_TRUE(output.ends_with(freedOnTheLastTry ? "Logging out.\n" : "Waiting 10 seconds.\n    FAILURE -17\n"))
            << output;
    }
}

TEST_F(FetchMailTest, ListingOver8KilobytesDrainsInOnePass) {
    useDovecot(5);
    // About 20 bytes of listing per message: 450 messages make over 9 KB.
    constexpr int kMessages = 450;
    for (int i = 0; i < kMessages; ++i) dovecot->injectMessage("list", message("m" + std::to_string(i)));
    EXPECT_TRUE(fetch());
    EXPECT_EQ(spoolFiles().size(), static_cast<size_t>(kMessages));
    EXPECT_TRUE(dovecot->listMaildir("list").empty());
}

TEST_F(FetchMailTest, RefusedRetrievalSkipsToTheNextMessage) {
    harness::ScriptedPop3Server server(address(6));
    server.greetAndLogin()
        .reply("+OK\r\n1 aaa\r\n2 bbb\r\n3 ccc\r\n.\r\n")
        .reply("+OK\r\n" + message("one") + ".\r\n")
        .reply("+OK\r\n")
        .reply("-ERR no such message\r\n")
        .reply("+OK\r\n" + message("three") + ".\r\n")
        .reply("+OK\r\n")
        .reply("+OK bye\r\n");
    ASSERT_TRUE(server.start());
    list.pop3Server = server.server();
    EXPECT_TRUE(fetch());
    EXPECT_NE(output.find("    Getting message: 2  ID: bbb...FAILURE -17\n    Getting message: 3  ID: ccc...Success\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(spoolFiles(), (std::vector<std::string>{"aaa.NEW", "ccc.NEW"}));
    ASSERT_TRUE(server.waitFinished(5000));
    const auto cmds = server.commands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "DELE 2"), 0);
    EXPECT_EQ(cmds.back(), "QUIT");
}

// Sessions that break off at every step. Whatever breaks, each message ends
// up stored exactly once or still waiting on the server, a broken session is
// opened again and the messages behind a failing one are still fetched.
TEST_F(FetchMailTest, BrokenSessionsLoseNothingAndStoreNothingTwice) {
    using Script = std::function<void(harness::ScriptedPop3Server&)>;
    struct Case {
        const char* name;
        Script script;
        int passes;
        std::vector<std::string> commands;
        std::vector<std::pair<std::string, std::string>> files;  // name, text it holds
    };
    const std::string listing3 = "+OK\r\n1 aaa\r\n2 bbb\r\n3 ccc\r\n.\r\n";
    const Case cases[] = {
        {"DELE cut off: the stored message is not fetched again",
         [&](auto& s) {
             s.greetAndLogin().reply("+OK\r\n1 aaa\r\n2 bbb\r\n.\r\n").reply("+OK\r\n" + message("one") + ".\r\n");
             s.readLine().nextConnection();
             s.greetAndLogin().reply("+OK\r\n1 aaa\r\n2 bbb\r\n.\r\n").reply("+OK\r\n");
             s.reply("+OK\r\n" + message("two") + ".\r\n").reply("+OK\r\n").reply("+OK bye\r\n");
         },
         1,
         {"USER list", "PASS secret", "UIDL", "RETR 1", "DELE 1", "USER list", "PASS secret", "UIDL", "DELE 1",
          "RETR 2", "DELE 2", "QUIT"},
         {{"aaa.NEW", "Subject: one"}, {"bbb.NEW", "Subject: two"}}},
        {"QUIT lost: the next pass only deletes",
         [&](auto& s) {
             s.greetAndLogin().reply("+OK\r\n1 aaa\r\n.\r\n").reply("+OK\r\n" + message("one") + ".\r\n");
             s.reply("+OK\r\n").readLine().nextConnection();
             s.greetAndLogin().reply("+OK\r\n1 aaa\r\n.\r\n").reply("+OK\r\n").reply("+OK bye\r\n");
         },
         2,
         {"USER list", "PASS secret", "UIDL", "RETR 1", "DELE 1", "QUIT", "USER list", "PASS secret", "UIDL",
          "DELE 1", "QUIT"},
         {{"aaa.NEW", "Subject: one"}}},
        {"one id listed twice: both messages kept",
         [&](auto& s) {
             s.greetAndLogin().reply("+OK\r\n1 aaa\r\n2 aaa\r\n.\r\n");
             s.reply("+OK\r\n" + message("one") + ".\r\n").reply("+OK\r\n");
             s.reply("+OK\r\n" + message("two") + ".\r\n").reply("+OK\r\n").reply("+OK bye\r\n");
         },
         1, {"USER list", "PASS secret", "UIDL", "RETR 1", "DELE 1", "RETR 2", "DELE 2", "QUIT"},
         {{"aaa.NEW", "Subject: one"}, {"aaa~2.NEW", "Subject: two"}}},
        {"download cut off: no partial file, the next message still comes",
         [&](auto& s) {
             s.greetAndLogin().reply(listing3).reply("+OK\r\n" + message("one") + ".\r\n").reply("+OK\r\n");
             s.reply("+OK\r\nFrom: ann@example.org\r\nTo: list@example.org\r\n").nextConnection();
             s.greetAndLogin().reply(listing3).reply("+OK\r\n");
             s.reply("+OK\r\n" + message("three") + ".\r\n").reply("+OK\r\n").reply("+OK bye\r\n");
         },
         1,
         {"USER list", "PASS secret", "UIDL", "RETR 1", "DELE 1", "RETR 2", "USER list", "PASS secret", "UIDL",
          "DELE 1", "RETR 3", "DELE 3", "QUIT"},
         {{"aaa.NEW", "Subject: one"}, {"ccc.NEW", "Subject: three"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& e : fs::directory_iterator(dir.path())) fs::remove_all(e.path());
        harness::ScriptedPop3Server server(address(7));
        c.script(server);
        ASSERT_TRUE(server.start());
        list.pop3Server = server.server();
        EXPECT_TRUE(fetch()) << output;
        for (int pass = 1; pass < c.passes; ++pass) EXPECT_FALSE(fetch()) << output;
        ASSERT_TRUE(server.waitFinished(5000));
        EXPECT_EQ(server.commands(), c.commands);
        std::vector<std::string> names;
        for (const auto& [name, text] : c.files) {
            names.push_back(name);
            EXPECT_NE(dir.read(name).find(text), std::string::npos) << name;
        }
        EXPECT_EQ(spoolFiles(), names);
        EXPECT_TRUE(fs::exists(dir.file("Fetched.IDS")));
    }
}

TEST_F(FetchMailTest, HostileUniqueIdsStayInsideTheListDirectory) {
    harness::ScriptedPop3Server server(address(8));
    server.greetAndLogin().reply("+OK\r\n1 ../../x\r\n2 .hidden\r\n3 \r\n.\r\n");
    for (int i = 1; i <= 3; ++i) server.reply("+OK\r\n" + message("m") + ".\r\n").reply("+OK\r\n");
    server.reply("+OK bye\r\n");
    ASSERT_TRUE(server.start());
    list.directory = dir.path() + "/a/b/";
    fs::create_directories(list.directory);
    list.pop3Server = server.server();
    EXPECT_TRUE(fetch());
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        if (e.is_regular_file()) names.push_back(fs::relative(e.path(), dir.path()).string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a/b/%.NEW", "a/b/%2E.%2F..%2Fx.NEW", "a/b/%2Ehidden.NEW",
                                               "a/b/Fetched.IDS"}));
    // The spool search sees all three.
    EXPECT_EQ(platform::findFiles(list.directory, "*.NEW").size(), 3u);
}

// A connection lost in the middle of a message loses nothing: the message is
// not deleted on the server, and the next pass fetches and processes it once.
TEST_F(FetchMailTest, ConnectionLostMidMessageIsFetchedAgainAndProcessedOnce) {
    harness::SmtpSink sink(harness::SmtpSink::Kind::Python, address(9));
    ASSERT_TRUE(sink.start());
    list.smtpServer = sink.server();
    list.fromAddress = list.replyToAddress = "list@example.org";
    list.adminSubmit = false;
    list.members.append("ann@example.org", false);
    list.members.append("bob@example.org", false);
    const std::string post = message("SUBMIT news", "Line one\r\n..dotted\r\nLine three");
    {
        harness::ScriptedPop3Server server(address(9));
        server.greetAndLogin()
            .reply("+OK\r\n1 post1\r\n.\r\n")
            .reply("+OK\r\n" + post.substr(0, 60))
            .nextConnection()
            .greetAndLogin()
            .reply("+OK\r\n1 post1\r\n.\r\n")
            .reply("+OK bye\r\n");
        ASSERT_TRUE(server.start());
        list.pop3Server = server.server();
        EXPECT_FALSE(fetch());
        EXPECT_TRUE(spoolFiles().empty());
        ASSERT_TRUE(server.waitFinished(5000));
        for (const auto& c : server.commands()) EXPECT_FALSE(c.starts_with("DELE")) << c;
    }
    harness::ScriptedPop3Server again(address(9));
    again.greetAndLogin()
        .reply("+OK\r\n1 post1\r\n.\r\n")
        .reply("+OK\r\n" + post + ".\r\n")
        .reply("+OK\r\n")
        .reply("+OK bye\r\n");
    ASSERT_TRUE(again.start());
    list.pop3Server = again.server();
    ASSERT_TRUE(fetch());
    testing::internal::CaptureStdout();
    ProcessNewMail(list);
    output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(spoolFiles(), std::vector<std::string>{"post1.MSG"});
    const auto sent = sink.messages();
    ASSERT_EQ(sent.size(), 2u) << output;
    for (const auto& m : sent) {
        EXPECT_NE(m.data.find("Subject: Submission from ann@example.org - news\r\n"), std::string::npos);
        // The server's dot-stuffing is gone: the members read what was written.
        EXPECT_NE(m.data.find("\r\n\r\nLine one\r\n.dotted\r\nLine three"), std::string::npos) << m.data;
    }
}

// A full disk in the middle of a download: the message stays on the server,
// nothing half written is left to be processed, and the cycle stops rather
// than failing every message behind it the same way.
TEST_F(FetchMailTest, FullDiskDuringADownloadKeepsTheMessageOnTheServer) {
    harness::ScriptedPop3Server server(address(10));
    server.greetAndLogin()
        .reply("+OK\r\n1 aaa\r\n2 bbb\r\n.\r\n")
        .reply("+OK\r\n" + message("one", std::string(64 * 1024, 'x')) + ".\r\n");
    ASSERT_TRUE(server.start());
    list.pop3Server = server.server();
    {
        const FileSizeLimit full(1024);
        EXPECT_FALSE(fetch());
    }
    EXPECT_NE(output.find("    Getting message: 1  ID: aaa...FAILURE -26\n"), std::string::npos) << output;
    EXPECT_TRUE(spoolFiles().empty());
    ASSERT_TRUE(server.waitFinished(5000));
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"USER list", "PASS secret", "UIDL", "RETR 1"}));
}
