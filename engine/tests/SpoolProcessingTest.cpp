// What processing does with each spool file, seen from the list directory.
// The SMTP server named here does not exist: nothing in these cases needs a
// send to succeed.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ProcessNewMail.h"
#include "StrippingLines.h"
#include "platform/FileSystem.h"
#include "tests/TempDir.h"

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
