// A post that cannot reach every member at once: refusals, a server that is
// down, a member whose server keeps answering "try later", a crash halfway.
// Each member gets the post exactly once, or it waits for a later pass, and
// after the archive's Keep days the administrators hear who missed it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "engine/DistributionProgress.h"
#include "engine/FetchMail.h"
#include "engine/ListLoading.h"
#include "engine/ListSecurity.h"
#include "transport/KOVAMail.h"
#include "engine/MailSending.h"
#include "engine/ProcessNewMail.h"
#include "engine/UpdateList.h"
#include "platform/FileSystem.h"
#include "tests/TempDir.h"
#include "tests/UnreadableFile.h"
#include "tests/harness/ScriptedServer.h"
#include "tests/harness/SmtpSink.h"

namespace fs = std::filesystem;

namespace {

const char kPost[] = "To: list@example.org\r\nFrom: ann@example.org\r\nSubject: SUBMIT news\r\n\r\nHello\r\n.\r\n";

class Distribution : public testing::Test {
protected:
    void SetUp() override {
        list.directory = dir.path() + "/";
        list.fromAddress = list.replyToAddress = "list@example.org";
        list.adminSubmit = false;
        list.stripAttachments = list.stripHTML = false;
        list.keep = 1;
        // No POP3 server: a pass only takes up what waits in the spool.
        list.pop3Server = "127.0.3.49:2";
        SetLoginPauseForTesting([](uint32_t) {});
        SetRetryPauseForTesting([this](uint32_t) {
            ++pauses;
            return true;
        });
    }
    void TearDown() override {
        SetLoginPauseForTesting({});
        SetRetryPauseForTesting({});
    }
    // A pass that fetched the post, or (later) one that fetched nothing.
    std::string pass(bool fetched) {
        testing::internal::CaptureStdout();
        if (fetched)
            ProcessNewMail(list);
        else
            UpdateList(list);
        return testing::internal::GetCapturedStdout();
    }
    static std::vector<std::string> recipients(const harness::SmtpSink& sink) {
        std::vector<std::string> r;
        for (const auto& m : sink.messages())
            for (const auto& to : m.rcptTos) r.push_back(to);
        std::sort(r.begin(), r.end());
        return r;
    }
    bool exists(const std::string& name) const { return fs::exists(dir.file(name)); }

    TempDir dir;
    MailList list;
    int pauses = 0;
};

TEST_F(Distribution, EveryMemberOnceOrLater) {
    struct Case {
        const char* name;
        std::vector<std::string> members;      // "!" in front marks an administrator
        std::vector<std::string> servedBefore;  // as a crash would have left the record
        int64_t startedDaysAgo;
        bool serverUp;
        std::vector<std::string> received;  // by the end of the first pass
        bool finished;                      // archived, record gone
        const char* record = nullptr;       // the record as a full disk or a kill left it
    };
    const Case cases[] = {
        {"a refusal is final, the others get it", {"ann@example.org", "refused@example.org", "bob@example.org"},
         {}, 0, true, {"ann@example.org", "bob@example.org"}, true},
        {"after a crash only the members not yet served", {"ann@example.org", "bob@example.org", "cy@example.org"},
         {"ANN@EXAMPLE.ORG"}, 0, true, {"bob@example.org", "cy@example.org"}, true},
        {"server down: everybody waits", {"ann@example.org", "bob@example.org"}, {}, 0, false, {}, false},
        {"try later: the member waits", {"ann@example.org", "busy@example.org"}, {}, 0, true, {"ann@example.org"},
         false},
        {"try later for Keep days: the administrators hear of it once",
         {"!ann@example.org", "busy@example.org"}, {"ANN@EXAMPLE.ORG"}, 2, true, {}, true},
        // Read as started in 1970, these gave up on the post at the first failure.
        {"an empty record counts as a post started now", {"ann@example.org", "bob@example.org"}, {}, 0, false, {},
         false, ""},
        {"a record cut inside its first line likewise", {"ann@example.org", "bob@example.org"}, {}, 0, false, {},
         false, "17"},
    };
    int n = 40;
    int damaged = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& e : fs::directory_iterator(dir.path())) fs::remove_all(e.path());
        list.members = MemberStore();
        for (const auto& m : c.members) list.members.append(m[0] == '!' ? m.substr(1) : m, m[0] == '!');
        const std::string address =
            c.record ? "127.0.23." + std::to_string(damaged++) : "127.0.3." + std::to_string(n++);
        harness::SmtpSink sink(harness::SmtpSink::Kind::Python, address);
        if (c.serverUp) {
            ASSERT_TRUE(sink.start());
        }
        list.smtpServer = sink.server();
        dir.write("post.NEW", kPost);
        if (c.record) {
            dir.write("post.SENT", c.record);
        } else if (!c.servedBefore.empty() || c.startedDaysAgo) {
            std::string record = std::to_string(platform::currentTime().seconds - c.startedDaysAgo * 86400) + "\r\n";
            for (const auto& a : c.servedBefore) record += a + "\r\n";
            dir.write("post.SENT", record);
        }
        pauses = 0;
        const std::string out = pass(true);
        EXPECT_EQ(exists("post.MSG"), c.finished) << out;
        EXPECT_EQ(exists("post.NEW"), !c.finished) << out;
        EXPECT_EQ(exists("post.SENT"), !c.finished) << out;
        std::vector<std::string> got = recipients(sink);
        std::vector<std::string> administrators;
        for (const auto& m : sink.messages())
            if (m.data.find("Subject: Undelivered: Submission from ann@example.org - news") != std::string::npos) {
                administrators.insert(administrators.end(), m.rcptTos.begin(), m.rcptTos.end());
                EXPECT_NE(m.data.find("busy@example.org"), std::string::npos);
                got.erase(std::find(got.begin(), got.end(), m.rcptTos[0]));
            }
        EXPECT_EQ(got, c.received);
        const bool gaveUp = c.startedDaysAgo > 0;
        EXPECT_EQ(administrators, gaveUp ? std::vector<std::string>{"ann@example.org"} : std::vector<std::string>{});
        // A server that is down is given up on for the pass after one try.
        if (!c.serverUp) {
            EXPECT_EQ(out.find("Sending to: bob"), std::string::npos) << out;
            EXPECT_EQ(pauses, 0);
        }
        if (c.finished) continue;

        // A later pass without new mail finishes it, for the others only.
        const size_t before = sink.messages().size();
        if (!c.serverUp) {
            ASSERT_TRUE(sink.start());
        }
        // The member whose server said "try later" now has a working address.
        list.members = MemberStore();
        for (const auto& m : c.members) list.members.append(m == "busy@example.org" ? "bob@example.org" : m, false);
        pass(false);
        EXPECT_TRUE(exists("post.MSG"));
        EXPECT_FALSE(exists("post.SENT"));
        std::vector<std::string> later;
        const auto all = sink.messages();
        for (size_t i = before; i < all.size(); ++i)
            later.insert(later.end(), all[i].rcptTos.begin(), all[i].rcptTos.end());
        std::sort(later.begin(), later.end());
        std::vector<std::string> expected;
        for (const auto& m : list.members.entries())
            if (std::find(c.received.begin(), c.received.end(), m.address) == c.received.end())
                expected.push_back(m.address);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(later, expected);
    }
}

}  // namespace

namespace {

// While the member file cannot be read the list has no members it can trust:
// no post goes out, no request is acted on, the mail stays in the spool, and
// the first pass after the file can be read again handles it all.
TEST_F(Distribution, MailWaitsWhileTheMemberFileCannotBeRead) {
    const char kMembers[] = "ann@example.org\r\nbob@example.org\r\n";
    const char kSubscribe[] =
        "To: list@example.org\r\nFrom: carl@example.org\r\nSubject: SUBSCRIBE\r\n\r\nPlease\r\n.\r\n";
    struct Case {
        const char* name;
        bool readBeforeFault;  // the file went bad while the engine ran
        std::function<bool(const std::string& path)> apply;
        std::function<void(const std::string& path)> undo;
    };
    std::unique_ptr<UnreadableFile> unreadable;
    const Case cases[] = {
        {"no read permission when the list was loaded", false,
         [&](const std::string& path) {
             unreadable = std::make_unique<UnreadableFile>(path);
             return unreadable->unreadable();
         },
         [&](const std::string&) { unreadable.reset(); }},
        {"a directory in its place after loading", true,
         [](const std::string& path) { return fs::remove(path) && fs::create_directory(path); },
         [&](const std::string& path) {
             fs::remove(path);
             std::ofstream(path, std::ios::binary) << kMembers;
         }},
    };
    int n = 80;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& e : fs::directory_iterator(dir.path())) fs::remove_all(e.path());
        harness::SmtpSink sink(harness::SmtpSink::Kind::Python, "127.0.3." + std::to_string(n++));
        ASSERT_TRUE(sink.start());
        list.smtpServer = sink.server();
        list.adminSubscribe = false;
        dir.write("Settings.INI", "");
        dir.write("Members.TXT", kMembers);
        if (!c.readBeforeFault) {
            ASSERT_TRUE(c.apply(dir.file("Members.TXT")));
        }
        const std::unique_ptr<MailList> loaded = LoadList(dir.path());
        EXPECT_EQ(loaded->memberFileError != 0, !c.readBeforeFault);
        list.members = loaded->members;
        list.membersOnDisk = loaded->membersOnDisk;
        list.memberFileError = loaded->memberFileError;
        if (c.readBeforeFault) {
            ASSERT_TRUE(c.apply(dir.file("Members.TXT")));
        }
        dir.write("post.NEW", kPost);
        dir.write("join.NEW", kSubscribe);
        platform::FileTime later = platform::currentTime();
        later.seconds += 1;
        platform::setLastWriteTime(dir.file("join.NEW"), later);  // fetched after the post

        // The pass that fetched the mail, and one more without new mail.
        for (bool fetched : {true, false}) {
            const std::string out = pass(fetched);
            EXPECT_NE(out.find("  Unable to read the member file: "), std::string::npos) << out;
            EXPECT_TRUE(exists("post.NEW") && exists("join.NEW")) << out;
        }
        EXPECT_TRUE(sink.messages().empty());
        c.undo(dir.file("Members.TXT"));
        EXPECT_EQ(dir.read("Members.TXT"), kMembers);

        const std::string out = pass(false);
        EXPECT_FALSE(exists("post.NEW") || exists("join.NEW")) << out;
        EXPECT_TRUE(exists("post.MSG")) << out;
        EXPECT_EQ(dir.read("Members.TXT"), std::string(kMembers) + "carl@example.org\r\n");
        EXPECT_EQ(recipients(sink),
                  (std::vector<std::string>{"ann@example.org", "bob@example.org", "carl@example.org"}));
    }
}

}  // namespace

namespace {

// Two posts and an administrator's notice in one pass against a server that
// takes no connection: it is tried once, the rest waits without a try.
TEST_F(Distribution, AServerThatIsDownIsTriedOncePerPass) {
    list.smtpServer = "127.0.3.48";  // nothing listens there
    list.members.append("ann@example.org", true);
    list.members.append("bob@example.org", false);
    dir.write("a.NEW", kPost);
    dir.write("b.NEW", kPost);
    const std::string out = pass(true);
    size_t tries = 0;
    for (size_t pos = out.find("Sending to:"); pos != std::string::npos; pos = out.find("Sending to:", pos + 1)) ++tries;
    EXPECT_EQ(tries, 1u) << out;
    EXPECT_TRUE(exists("a.SENT") && exists("b.SENT")) << out;
    EXPECT_EQ(pauses, 0);
}

}  // namespace

namespace {

// How a failed copy is judged decides whether it is tried again: by the
// server's own reply, wherever in the dialogue it came.
TEST_F(Distribution, FailuresAreJudgedByTheServersReply) {
    using S = harness::ScriptedServer;
    const std::vector<S::Step> upToData{S::send("220 hi\r\n"), S::readLine(), S::send("250 ok\r\n"),
                                        S::readLine(),          S::send("250 ok\r\n"), S::readLine()};
    auto script = [&](std::vector<S::Step> tail) {
        std::vector<S::Step> all = upToData;
        all.insert(all.end(), tail.begin(), tail.end());
        // A session says QUIT as it closes; a single send has hung up by now.
        all.insert(all.end(), {S::readLine(), S::send("221 bye\r\n")});
        all.push_back(S::waitForClose());
        return all;
    };
    const std::vector<S::Step> toDataEnd{S::send("250 ok\r\n"), S::readLine(), S::send("354 go\r\n"),
                                         S::readUntil("\r\n.\r\n")};
    auto afterData = [&](std::string reply) {
        std::vector<S::Step> tail = toDataEnd;
        tail.push_back(S::send(std::move(reply)));
        return script(tail);
    };
    // A server that groups commands: the reply to DATA comes after the one
    // that decided, and must not be taken for it.
    const std::vector<S::Step> grouped{S::send("220 hi\r\n"), S::readLine(),
                                       S::send("250-hi\r\n250 PIPELINING\r\n"), S::readUntil("data\r\n"),
                                       S::send("250 2.1.0 ok\r\n451 4.2.1 mailbox busy\r\n554 5.5.1 no valid "
                                               "recipients\r\n"),
                                       S::readLine(), S::send("221 bye\r\n"), S::waitForClose()};
    struct Case {
        const char* name;
        std::vector<S::Step> script;
        Delivery kind;
        int pausesAsked;
        bool inSession;  // judged the same through a post's session
        const char* status;  // the deciding reply's enhanced status, as the engine gets it
    };
    const Case cases[] = {
        {"greeting refused", {S::send("554 no service here\r\n"), S::waitForClose()}, Delivery::ServerDown, 0, true,
         ""},
        {"recipient refused", script({S::send("550-5.1.1 no such user\r\n550 5.1.1 here\r\n")}), Delivery::Refused,
         0, true, "5.1.1"},
        {"recipient deferred", script({S::send("451 try later\r\n")}), Delivery::Transient, 1, true, ""},
        {"recipient deferred, then DATA refused in the same group", grouped, Delivery::Transient, 1, true, "4.2.1"},
        {"message refused at its end", afterData("552 5.3.4 too big\r\n"), Delivery::Refused, 0, true, "5.3.4"},
        {"message deferred at its end", afterData("451 try later\r\n"), Delivery::Transient, 1, true, ""},
        {"connection cut after the end of the data", script({S::send("250 ok\r\n"), S::readLine(),
                                                             S::send("354 go\r\n"), S::readUntil("\r\n.\r\n"),
                                                             S::close()}),
         Delivery::Transient, 1, true, ""},
        // A session takes a cut before the message as a server that closed
        // between copies and reconnects: the session's own tests cover that.
        {"connection cut midway", script({S::close()}), Delivery::Transient, 1, false, ""},
    };
    for (const bool inSession : {false, true}) {
        for (const auto& c : cases) {
            if (inSession && !c.inSession) continue;
            SCOPED_TRACE(std::string(c.name) + (inSession ? " (session)" : ""));
            S server("127.0.3.47");
            ASSERT_TRUE(server.start(c.script));
            list.smtpServer = server.server();
            pauses = 0;
            // A stop request during the first pause: one try only.
            SetRetryPauseForTesting([this](uint32_t) {
                ++pauses;
                return false;
            });
            const std::string body(2000, 'b');
            DeliveryResult r;
            if (inSession) {
                PostSession session(list);
                r = SendToMember(list, session, "bob@example.org", "subject", body, {});
            } else {
                r = SendToMember(list, "bob@example.org", "subject", body, {});
            }
            EXPECT_EQ(r.kind, c.kind) << r.code;
            EXPECT_EQ(pauses, c.pausesAsked);
            EXPECT_EQ(r.reply.status, c.status);
            if (c.status[0]) {
                EXPECT_NE(r.reply.text.find(c.status), std::string::npos) << r.reply.text;
            }
            ForgetServersDown();
        }
    }
}


// A refused login would fail every member alike: the post waits for the
// administrator to mend the settings instead of being lost as refused.
TEST_F(Distribution, RefusedLoginWaitsLikeAServerThatIsDown) {
    using S = harness::ScriptedServer;
    list.smtpSecurity = KOVA_SECURITY_NONE;
    list.smtpUsername = "list";
    list.smtpPassword = "wrong";
    list.smtpAllowPlainAuth = true;
    ApplyListSecurity(list);
    for (const bool inSession : {false, true}) {
        SCOPED_TRACE(inSession ? "session" : "single");
        S server("127.0.3.47");
        ASSERT_TRUE(server.start({S::send("220 hi\r\n"), S::readLine(), S::send("250-hi\r\n250 AUTH PLAIN\r\n"),
                                  S::readLine(), S::send("535 5.7.8 authentication failed\r\n"),
                                  S::waitForClose()}));
        list.smtpServer = server.server();
        pauses = 0;
        SetRetryPauseForTesting([this](uint32_t) {
            ++pauses;
            return true;
        });
        DeliveryResult r;
        if (inSession) {
            PostSession session(list);
            r = SendToMember(list, session, "bob@example.org", "subject", "body\r\n", {});
        } else {
            r = SendToMember(list, "bob@example.org", "subject", "body\r\n", {});
        }
        EXPECT_EQ(r.kind, Delivery::ServerDown) << r.code;
        EXPECT_EQ(r.code, KOVA_AUTH_REFUSED);
        EXPECT_EQ(pauses, 0);
        EXPECT_TRUE(ServerDownThisPass(list.smtpServer));
        ForgetServersDown();
    }
    list.smtpUsername.clear();
    list.smtpSecurity = -1;
    ApplyListSecurity(list);
}

}  // namespace
