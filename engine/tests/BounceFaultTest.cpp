// A delivery report whose member change cannot reach a full disk removes
// nobody and is not lost: it waits in the spool, and the first pass with
// room carries it out and tells the administrators.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "engine/FetchMail.h"
#include "engine/MailSending.h"
#include "engine/ProcessNewMail.h"
#include "engine/UpdateList.h"
#include "platform/LocalTime.h"
#include "tests/MountNamespace.h"
#include "tests/TempDir.h"
#include "tests/harness/SmtpSink.h"

namespace fs = std::filesystem;

TEST(BounceFault, FullDiskRemovesNobodyAndKeepsTheReport) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a file system";
    harness::SmtpSink sink(harness::SmtpSink::Kind::Python, "127.0.28.10");
    ASSERT_TRUE(sink.start());
    TempDir dir;
    const platform::LocalTime now = platform::localNow();
    char today[16];
    std::snprintf(today, sizeof today, "%04d-%02d-%02d", now.year, now.month, now.day);

    const std::string failure = inMountNamespace([&]() -> std::string {
        if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=128k,mode=0700") != 0) return "mount failed";
        const std::string members = "_!_boss@example.org\r\nann@example.org\r\n";
        dir.write("Members.TXT", members);
        dir.write("Bounces.TXT", std::string("ann@example.org\t1\t") + today + "\t" + today + "\t5.1.1\tx\r\n");
        dir.write("r1.NEW",
                  "From: MAILER-DAEMON@mx.example.net\r\nTo: list@example.org\r\nSubject: Undelivered Mail\r\n"
                  "Content-Type: multipart/report; report-type=delivery-status; boundary=b\r\n\r\n--b\r\n"
                  "Content-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; mx\r\n\r\n"
                  "Final-Recipient: rfc822; ann@example.org\r\nAction: failed\r\nStatus: 5.1.1\r\n--b--\r\n.\r\n");
        MailList list;
        list.name = "Club";
        list.directory = dir.path() + "/";
        list.fromAddress = list.replyToAddress = "list@example.org";
        list.smtpServer = sink.server();
        list.pop3Server = "127.0.28.10:2";  // nothing new to fetch
        list.bounceLimit = 2;
        SetLoginPauseForTesting([](uint32_t) {});
        SetRetryPauseForTesting([](uint32_t) { return true; });

        if (!fillFileSystem(dir.file("filler"))) return "disk not filled";
        testing::internal::CaptureStdout();
        ProcessNewMail(list);
        std::string out = testing::internal::GetCapturedStdout();
        if (out.find("    FAILURE. Unable to write the member file: ") == std::string::npos) return "no failure: " + out;
        if (out.find("Member removed") != std::string::npos) return "removed on a full disk: " + out;
        if (dir.read("Members.TXT") != members) return "member file changed";
        if (!fs::exists(dir.file("r1.NEW"))) return "report lost";
        if (!list.reportsWaiting) return "report not kept for the next pass";

        fs::remove(dir.file("filler"));
        testing::internal::CaptureStdout();
        UpdateList(list);
        out = testing::internal::GetCapturedStdout();
        if (out.find("  Delivery report for ann@example.org...Member removed\n") == std::string::npos)
            return "not carried out later: " + out;
        if (dir.read("Members.TXT") != "_!_boss@example.org\r\n") return "member still there";
        if (fs::exists(dir.file("r1.NEW"))) return "report not deleted";
        if (dir.read("Bounces.TXT").find("ann@") != std::string::npos) return "count kept for a removed member";
        ::umount(dir.path().c_str());
        return "";
    });
    EXPECT_EQ(failure, "");
    const auto sent = sink.messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].rcptTos, std::vector<std::string>{"boss@example.org"});
    EXPECT_NE(sent[0].data.find("ann@example.org has been removed from the Club ringpost after 2"), std::string::npos);
}
