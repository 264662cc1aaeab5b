// What processing does with each spool file, seen from the list directory.
// The first cases name an SMTP server that does not exist: nothing in them
// needs a send to succeed. The planted links take real servers on 127.0.23.x.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/FetchMail.h"
#include "engine/MailSending.h"
#include "engine/ProcessNewMail.h"
#include "engine/SpoolCleanup.h"
#include "list/ListDirectory.h"
#include "pop3/KOVAPOP3.h"
#include "smtp/KOVASMTP.h"
#include "StrippingLines.h"
#include "platform/FileSystem.h"
#include "tests/TempDir.h"
#include "tests/harness/ScriptedPop3Server.h"
#include "tests/harness/SmtpSink.h"

namespace fs = std::filesystem;

namespace {

class SpoolProcessing : public testing::Test {
protected:
    void SetUp() override {
        list.directory = dir.path() + "/";
        list.smtpServer = "127.0.3.199:2";  // nothing listens there
        list.fromAddress = list.replyToAddress = "list@example.org";
        list.adminSubscribe = false;
        list.members.append("ann@example.org", false);
        // Attachment folders made by the tests stay until processing ends.
        list.stripAttachments = false;
        list.stripHTML = false;
    }
    void spoolFile(const std::string& name, const std::string& content, int64_t secondsAgo = 0) {
        dir.write(name, content);
        platform::FileTime t = platform::currentTime();
        t.seconds -= secondsAgo;
        platform::setLastWriteTime(dir.file(name), t);
    }
    void withAttachment(const std::string& folder) {
        dir.mkdir(folder);
        dir.write(folder + "/a.txt", "x");
    }
    std::string process() {
        testing::internal::CaptureStdout();
        ProcessNewMail(list);
        return WithoutStrippingLines(testing::internal::GetCapturedStdout());
    }
    bool exists(const std::string& name) const { return fs::exists(dir.file(name)); }

    TempDir dir;
    MailList list;
};

const char kHeaders[] = "To: list@example.org\r\nFrom: ann@example.org\r\nSubject: hello\r\n";

}  // namespace

TEST_F(SpoolProcessing, FatesOfUnusableFiles) {
    spoolFile("noto.NEW", "From: ann@example.org\r\nSubject: submit x\r\n\r\nbody\r\n.\r\n");
    withAttachment("noto");
    spoolFile("blank.NEW", std::string(kHeaders) + "\r\n\r\n\r\n.\r\n");
    spoolFile("nobody.NEW", std::string(kHeaders) + ".\r\n");
    spoolFile("nobreak.NEW", std::string(kHeaders) + "X-Other: 1\r\n.\r\nafter\r\n");
    dir.mkdir("dir.NEW");  // not a file: left alone
    const std::string out = process();
    EXPECT_TRUE(exists("noto.BAD"));
    EXPECT_FALSE(exists("noto"));
    for (const char* gone : {"blank.NEW", "nobody.NEW", "nobreak.NEW", "noto.NEW"}) EXPECT_FALSE(exists(gone)) << gone;
    EXPECT_EQ(out.find("Invalid"), std::string::npos) << out;
    EXPECT_TRUE(exists("dir.NEW"));
}

TEST_F(SpoolProcessing, FilesAreHandledInTheOrderTheyWereFetched) {
    // The older file sorts last by name: a name-ordered walk would apply the
    // unsubscribe before the subscribe and leave cat on the list.
    spoolFile("b.NEW", "To: l@x.org\r\nFrom: cat@example.org\r\nSubject: subscribe\r\n\r\n1\r\n.\r\n", 60);
    spoolFile("a.NEW", "To: l@x.org\r\nFrom: cat@example.org\r\nSubject: unsubscribe\r\n\r\n2\r\n.\r\n", 0);
    const std::string out = process();
    EXPECT_LT(out.find("    Subscribe request\n"), out.find("    Unsubscribe request\n")) << out;
    ASSERT_EQ(list.members.count(), 1);
    EXPECT_EQ(list.members.entries()[0].address, "ann@example.org");
}

TEST_F(SpoolProcessing, UnrecognisedMailFromAMemberIsIgnoredAndDeleted) {
    spoolFile("m.NEW", std::string(kHeaders) + "\r\nJust chatting\r\n.\r\n");
    withAttachment("m");
    EXPECT_EQ(process(),
              "  Processing all new mail...\n    Invalid E-Mail from ann@example.org...Ignoring\n"
              "    Deleting attachments...\n      Removing " +
                  dir.file("m/a.txt") + "\n      Removed 1 attachment.\n");
    EXPECT_FALSE(exists("m.NEW"));
    EXPECT_FALSE(exists("m"));
}

TEST_F(SpoolProcessing, FromHiddenBehindALongHeaderLineIsNoSender) {
    // Read in pieces of 8191 bytes, the pad's line ended in a From: of a
    // member and made that member the sender; the HTML stripping, which
    // rewrites the header block, wrote that piece out as a line of its own.
    const std::string pad = "X-Pad: " + std::string(8184, 'a');
    for (const bool stripHtml : {false, true}) {
        list.stripHTML = stripHtml;
        spoolFile("m.NEW", "To: list@example.org\r\nFrom: eve@evil.test\r\n" + pad +
                               "From: ann@example.org\r\nSubject: hello\r\n\r\nbody\r\n.\r\n");
        EXPECT_EQ(process(),
                  "  Processing all new mail...\n    Invalid E-Mail from eve@evil.test...Ignoring\n"
                  "    Deleting attachments...\n")
            << stripHtml;
        EXPECT_FALSE(exists("m.NEW"));
    }
}

// A list directory is written by others too (administrators in its group).
// Links and special files planted where the engine keeps its files must never
// lead it, the mail libraries it hands paths to or the console's removal of
// a list outside the directory: nothing elsewhere is changed, read, deleted,
// copied in or mailed out, and the engine says what it left alone. A link
// swapped in after the engine's checks is planted before a library call.
namespace {

constexpr char kSecret[] = "secret of another account";
// Its first 24 bytes as an attachment carries them.
constexpr char kSecretBase64[] = "c2VjcmV0IG9mIGFub3RoZXIgYWNjb3Vu";

std::string multipartPost(const std::string& subject) {
    return "To: list@example.org\r\nFrom: ann@example.org\r\nSubject: " + subject +
           "\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nHello\r\n"
           "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=cron.txt\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\nKiAqICogKiAqIHJvb3QgZXZpbAo=\r\n--b--\r\n";
}

class PlantedLinks : public testing::Test {
public:  // for the table's rows
    void SetUp() override {
        list.directory = dir.path() + "/";
        list.fromAddress = list.replyToAddress = "list@example.org";
        list.adminSubscribe = list.adminSubmit = false;
        list.stripAttachments = list.stripHTML = false;
        list.keep = 1;
        list.members.append("ann@example.org", false);
        list.welcomeFile = list.directory + "welcome.txt";
        list.prependFile = list.directory + "prepend.txt";
        list.postpendFile = list.directory + "postpend.txt";
        resetElsewhere();
        SetRetryPauseForTesting([](uint32_t) { return true; });
    }
    void TearDown() override { SetRetryPauseForTesting({}); }
    void resetElsewhere() const {
        for (const auto& e : fs::directory_iterator(elsewhere.path())) fs::remove_all(e.path());
        elsewhere.write("victim.txt", kSecret);
        ::chmod(elsewhere.file("victim.txt").c_str(), 0600);
        elsewhere.mkdir("victims");
        elsewhere.write("victims/a.txt", kSecret);
        elsewhere.write("Members.TXT", "ann@example.org\r\nvictim@example.org\r\n");
    }
    void link(const std::string& target, const std::string& name) const {
        ASSERT_EQ(::symlink(target.c_str(), dir.file(name).c_str()), 0) << name;
    }
    // What lies elsewhere, to see that nothing there changed.
    std::string snapshot() const {
        std::string s;
        for (const auto& e : fs::recursive_directory_iterator(elsewhere.path()))
            s += e.path().string() + "=" + (e.is_regular_file() ? readWhole(e.path().string()) : "") + "\n";
        return s;
    }
    static std::string readWhole(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    std::string fetchOne(const std::string& message) {
        harness::ScriptedPop3Server server("127.0.23.2");
        server.greetAndLogin().reply("+OK\r\n1 aaa\r\n.\r\n").reply("+OK\r\n" + message + ".\r\n");
        server.reply("+OK\r\n").reply("+OK bye\r\n");
        EXPECT_TRUE(server.start());
        list.pop3Server = server.server();
        testing::internal::CaptureStdout();
        FetchMail(list);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(server.waitFinished(5000));
        return out;
    }
    std::string process() {
        testing::internal::CaptureStdout();
        ProcessNewMail(list);
        return testing::internal::GetCapturedStdout();
    }
    // The decoder called as the engine calls it, after the engine's checks.
    int32_t decode(const std::string& name, std::string& out) const {
        testing::internal::CaptureStdout();
        const int32_t result = KOVAPOP3_DecodeAttachments(dir.file(name).c_str(), 0);
        out = testing::internal::GetCapturedStdout();
        return result;
    }
    std::string cleanUp() {
        testing::internal::CaptureStdout();
        RemoveOldFiles(list, "MSG", list.keep);
        RemoveOldFiles(list, "BAD", 30);
        RemoveOldFiles(list, "TMP", 0);
        return testing::internal::GetCapturedStdout();
    }

    TempDir dir{"ringpost-list"};
    TempDir elsewhere{"ringpost-elsewhere"};
    MailList list;
};

}  // namespace

TEST_F(PlantedLinks, NothingOutsideTheListDirectoryIsTouchedReadOrMailed) {
    harness::SmtpSink sink(harness::SmtpSink::Kind::Python, "127.0.23.1");
    ASSERT_TRUE(sink.start());
    list.smtpServer = sink.server();
    const std::string subscribe = "To: list@example.org\r\nFrom: cat@example.org\r\nSubject: subscribe\r\n\r\nhi\r\n";
    const std::string post = "To: list@example.org\r\nFrom: ann@example.org\r\nSubject: SUBMIT news\r\n\r\nHi\r\n";
    struct Row {
        const char* name;
        std::function<void(PlantedLinks&)> plant;
        std::function<std::string(PlantedLinks&)> act;
        std::string leftAlone;  // the entry the engine reports and leaves as it is
    };
    const Row rows[] = {
        {"a link as the attachment folder of a work file",
         [](auto& t) {
             t.dir.write("m.TMP", "x");
             t.link(t.elsewhere.file("victims"), "m");
         },
         [](auto& t) { return t.cleanUp(); }, "m"},
        {"a link under the next message's name as its attachment folder",
         [](auto& t) { t.link(t.elsewhere.file("victims"), "aaa"); },
         [](auto& t) {
             const std::string fetched = t.fetchOne(multipartPost("SUBMIT cron"));
             return fetched + t.process();
         },
         "aaa"},
        {"Download.TMP planted after the sweep", [](auto& t) { t.link(t.elsewhere.file("victim.txt"), "Download.TMP"); },
         [](auto& t) { return t.fetchOne(multipartPost("SUBMIT x")); }, ""},
        {"the decoder's work file planted after the sweep",
         [](auto& t) {
             t.dir.write("aaa.NEW", multipartPost("SUBMIT y") + ".\r\n");
             t.link(t.elsewhere.file("victim.txt"), "~Attach~.TMP");
         },
         [](auto& t) { return t.process(); }, ""},
        {"the welcome text",
         [&](auto& t) {
             t.dir.write("s.NEW", subscribe + ".\r\n");
             t.link(t.elsewhere.file("victim.txt"), "welcome.txt");
         },
         [](auto& t) { return t.process(); }, "welcome.txt"},
        {"the prepend text",
         [&](auto& t) {
             t.dir.write("p.NEW", post + ".\r\n");
             t.link(t.elsewhere.file("victim.txt"), "prepend.txt");
         },
         [](auto& t) { return t.process(); }, "prepend.txt"},
        {"the member file, to another list's",
         [&](auto& t) {
             t.dir.write("p.NEW", post + ".\r\n");
             t.link(t.elsewhere.file("Members.TXT"), "Members.TXT");
         },
         [](auto& t) { return t.process(); }, ""},
        {"a post's record of the members served",
         [&](auto& t) {
             t.dir.write("p.NEW", post + ".\r\n");
             t.link(t.elsewhere.file("victim.txt"), "p.SENT");
         },
         [](auto& t) { return t.process(); }, "p.SENT"},
        {"a dangling record of the members served",
         [&](auto& t) {
             t.dir.write("p.NEW", post + ".\r\n");
             t.link(t.elsewhere.file("victims/new.txt"), "p.SENT");
         },
         [](auto& t) { return t.process(); }, "p.SENT"},
        {"the attachment folder, swapped for a link after the engine's check",
         [](auto& t) {
             t.dir.write("aaa.NEW", multipartPost("SUBMIT cron") + ".\r\n");
             t.link(t.elsewhere.file("victims"), "aaa");
         },
         [](auto& t) {
             std::string out;
             EXPECT_EQ(t.decode("aaa.NEW", out), 0);
             EXPECT_NE(out.find("Unable to decode cron.txt"), std::string::npos) << out;
             return out;
         },
         ""},
        {"the message handed to the decoder",
         [](auto& t) {
             t.elsewhere.write("victim.txt",
                               "To: l@x.org\r\nFrom: ann@example.org\r\nSubject: SUBMIT\r\n"
                               "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n" +
                                   std::string(kSecret) + "\r\n--b--\r\n.\r\n");
             t.link(t.elsewhere.file("victim.txt"), "v.NEW");
         },
         [](auto& t) {
             uint32_t size = 100;
             char subject[100];
             EXPECT_EQ(KOVAPOP3_GetMessageHeader(t.dir.file("v.NEW").c_str(), nullptr, nullptr, nullptr, nullptr,
                                                 nullptr, nullptr, nullptr, nullptr, subject, &size, nullptr, nullptr,
                                                 nullptr, nullptr, nullptr, nullptr, nullptr),
                       KOVA_FILE_NOT_OPENED);
             std::string out;
             EXPECT_EQ(t.decode("v.NEW", out), KOVA_FILE_NOT_OPENED);
             return out;
         },
         ""},
        {"an attachment file handed to the SMTP library",
         [](auto& t) {
             t.dir.mkdir("aaa");
             t.link(t.elsewhere.file("victim.txt"), "aaa/notes.txt");
         },
         [](auto& t) {
             EXPECT_EQ(KOVASMTP_SendEMail(t.list.smtpServer.c_str(), "list@example.org", "ann@example.org", nullptr,
                                          "notes", "hi", 2, t.dir.file("aaa/notes.txt").c_str(), nullptr, 0),
                       KOVA_FILE_NOT_OPENED);
             return std::string();
         },
         ""},
        {"a list removed from the console, and a link as a list",
         [](auto& t) {
             t.dir.mkdir("L");
             t.dir.write("L/Settings.INI", "");
             t.dir.write("L/Members.TXT", "");
             t.link(t.elsewhere.file("victim.txt"), "L/x.MSG");
             t.link(t.elsewhere.file("victims"), "L/aaa");
             t.elsewhere.write("Settings.INI", "");
             t.link(t.elsewhere.path(), "M");
         },
         [](auto& t) {
             EXPECT_EQ(list::removeListDirectory(t.dir.path(), "L"), 0u);
             EXPECT_EQ(list::removeListDirectory(t.dir.path() + "/", "M"), 0u);
             EXPECT_FALSE(fs::exists(fs::symlink_status(t.dir.file("L"))));
             EXPECT_FALSE(fs::exists(fs::symlink_status(t.dir.file("M"))));
             return std::string();
         },
         ""},
        {"a fetched message",
         [](auto& t) {
             t.elsewhere.write("victim.txt", "To: l@x.org\r\nFrom: ann@example.org\r\nSubject: SUBMIT\r\n\r\n" +
                                                 std::string(kSecret) + "\r\n");
             t.link(t.elsewhere.file("victim.txt"), "v.NEW");
         },
         [](auto& t) { return t.process(); }, "v.NEW"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& e : fs::directory_iterator(dir.path())) fs::remove_all(e.path());
        resetElsewhere();
        row.plant(*this);
        const std::string before = snapshot();
        const size_t sent = sink.messages().size();
        const std::string out = row.act(*this);
        EXPECT_EQ(snapshot(), before) << out;
        const auto messages = sink.messages();
        for (size_t i = sent; i < messages.size(); ++i) {
            EXPECT_EQ(messages[i].data.find(kSecret), std::string::npos) << messages[i].data;
            EXPECT_EQ(messages[i].data.find(kSecretBase64), std::string::npos) << messages[i].data;
            for (const auto& to : messages[i].rcptTos) EXPECT_NE(to, "victim@example.org");
        }
        // Nor is anything from elsewhere copied where the list's group reads it.
        for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
            if (fs::is_regular_file(e.symlink_status())) {
                EXPECT_EQ(readWhole(e.path().string()).find(kSecret), std::string::npos) << e.path();
            }
        }
        if (!row.leftAlone.empty()) {
            EXPECT_NE(out.find("left alone: " + dir.file(row.leftAlone) + "\n"), std::string::npos) << out;
            EXPECT_TRUE(fs::is_symlink(dir.file(row.leftAlone)));
        }
        list.members = MemberStore();
        list.members.append("ann@example.org", false);
        list.membersOnDisk = {};
        list.memberFileError = 0;
    }
}

// What the engine writes in a list directory is its owner's alone, or, in a
// directory shared with a group (set-group-ID), the group's as well.
TEST_F(PlantedLinks, WhatTheEngineWritesIsForItsOwnerOrTheListsGroup) {
    harness::SmtpSink sink(harness::SmtpSink::Kind::Python, "127.0.23.3");
    ASSERT_TRUE(sink.start());
    list.smtpServer = sink.server();
    list.members.append("busy@example.org", false);  // keeps the post and its record waiting
    constexpr gid_t kGroup = 4242;
    for (const bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "shared with a group" : "owner only");
        for (const auto& e : fs::directory_iterator(dir.path())) fs::remove_all(e.path());
        if (shared) {
            if (::chown(dir.path().c_str(), static_cast<uid_t>(-1), kGroup) != 0) GTEST_SKIP() << "needs root";
            ::chmod(dir.path().c_str(), 02770);
        }
        std::string out = fetchOne(multipartPost("SUBMIT modes"));
        out += process();
        const struct {
            const char* name;
            unsigned mode;
        } expected[] = {{"aaa.NEW", shared ? 0660u : 0600u},
                        {"aaa.SENT", shared ? 0660u : 0600u},
                        {"Fetched.IDS", shared ? 0660u : 0600u},
                        {"aaa", shared ? 02770u : 0700u},
                        {"aaa/cron.txt", shared ? 0660u : 0600u}};
        for (const auto& e : expected) {
            struct stat st {};
            ASSERT_EQ(::lstat(dir.file(e.name).c_str(), &st), 0) << e.name << "\n" << out;
            EXPECT_EQ(st.st_mode & 07777, e.mode) << e.name;
            if (shared) {
                EXPECT_EQ(st.st_gid, kGroup) << e.name;
            }
        }
    }
}
