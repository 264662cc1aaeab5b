// Which mail is a program's rather than a person's, from its header block.
#include <gtest/gtest.h>

#include "engine/AutomaticMail.h"
#include "engine/MailHeaders.h"
#include "tests/TempDir.h"

namespace {

MailList club() {
    MailList list;
    list.name = "Club";
    list.fromAddress = "list@example.org";
    return list;
}

MailHeaders headersOf(const TempDir& dir, const std::string& block) {
    dir.write("m.NEW", "From: Ann <ann@example.org>\r\nTo: list@example.org\r\nSubject: SUBMIT Tea\r\n" + block +
                           "\r\nAuto-Submitted: auto-replied in the body does not count\r\n.\r\n");
    MailHeaders h;
    EXPECT_TRUE(ReadMailHeaders(dir.file("m.NEW"), h));
    return h;
}

}  // namespace

TEST(AutomaticMail, MarkersInTheHeaderBlock) {
    const MailList list = club();
    TempDir dir;
    const std::pair<const char*, const char*> cases[] = {
        // Mail a person sent.
        {"", ""},
        {"Auto-Submitted: no\r\n", ""},
        {"Auto-Submitted: No (a person wrote this)\r\n", ""},
        {"Precedence: first-class\r\n", ""},
        {"Content-Type: multipart/mixed; boundary=x\r\n", ""},
        {"Return-Path: <ann@example.org>\r\n", ""},
        {"List-Id: Other <other.example.org>\r\n", ""},
        {"List-Id: <club.example.org.evil>\r\n", ""},
        {"X-Note: X-Autoreply: yes\r\n", ""},
        // A program's.
        {"Auto-Submitted: auto-replied\r\n", "Auto-Submitted: auto-replied"},
        {"auto-submitted:   Auto-Generated; owner-email=x@y\r\n", "Auto-Submitted: Auto-Generated; owner-email=x@y"},
        {"Auto-Submitted: auto-notified\r\n", "Auto-Submitted: auto-notified"},
        {"Precedence: bulk\r\n", "Precedence: bulk"},
        {"Precedence: JUNK\r\n", "Precedence: JUNK"},
        {"Precedence: list\r\n", "Precedence: list"},
        {"X-Autoreply: yes\r\n", "X-Autoreply: yes"},
        {"X-Autorespond: Out of office\r\n", "X-Autorespond: Out of office"},
        {"Content-Type: multipart/report; report-type=delivery-status;\r\n\tboundary=\"b\"\r\n",
         "Content-Type: multipart/report; report-type=delivery-status; boundary=\"b\""},
        {"Content-Type: Multipart/Report;report-type=disposition-notification\r\n",
         "Content-Type: Multipart/Report;report-type=disposition-notification"},
        {"Return-Path: <>\r\n", "Return-Path: <>"},
        {"Return-Path: < >\r\n", "Return-Path: < >"},
        {"List-Id: \"Club\" <club.example.org>\r\n", "List-Id: \"Club\" <club.example.org>"},
        {"List-Id: <CLUB.Example.ORG>\r\n", "List-Id: <CLUB.Example.ORG>"},
        {"Auto-Submitted: auto-replied (an explanation longer than anybody wants in a printed line)\r\n",
         "Auto-Submitted: auto-replied (an explanation longer than anybody wants in a "},
    };
    for (const auto& [block, marker] : cases)
        EXPECT_EQ(AutomaticMailMarker(list, headersOf(dir, block)), marker) << block;
}

TEST(AutomaticMail, SendersOfReports) {
    const MailList list = club();
    const std::pair<const char*, bool> cases[] = {
        {"Mail Delivery System <MAILER-DAEMON@mx.example.org>", true},
        {"mailer-daemon@example.org", true},
        {"MAILER-DAEMON", true},
        {"\"Postmaster\" <postmaster@example.org>", true},
        {"Ann <ann@example.org>", false},
        {"postmaster-fan@example.org", false},
        {"\"postmaster@example.org\" <ann@example.org>", false},
    };
    for (const auto& [from, automatic] : cases) {
        MailHeaders h;
        h.fields = {{"From", from}, {"Subject", "SUBSCRIBE"}};
        EXPECT_EQ(!AutomaticMailMarker(list, h).empty(), automatic) << from;
    }
}

TEST(AutomaticMail, SetAsideAsBadWithOneLine) {
    const MailList list = club();
    TempDir dir;
    dir.write("a.NEW", "From: MAILER-DAEMON@example.org\r\nSubject: Undelivered\r\n\r\nx\r\n.\r\n");
    MailHeaders h;
    ASSERT_TRUE(ReadMailHeaders(dir.file("a.NEW"), h));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(SetAsideAutomaticMail(list, dir.file("a.NEW"), h));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "    Automatic mail from MAILER-DAEMON@example.org (From: MAILER-DAEMON@example.org)...Setting aside\n");
    EXPECT_EQ(dir.read("a.BAD"), "From: MAILER-DAEMON@example.org\r\nSubject: Undelivered\r\n\r\nx\r\n.\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.NEW")));

    MailHeaders none;
    EXPECT_FALSE(ReadMailHeaders(dir.file("missing.NEW"), none));
    EXPECT_FALSE(SetAsideAutomaticMail(list, dir.file("missing.NEW"), none));
}
