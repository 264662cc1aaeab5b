// The installed engine among automatic mail and mail programs: out-of-office
// replies, delivery reports and its own copies coming back are set aside
// unanswered, and what the list sends is read back with Python's email
// package the way members' programs read it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "StrippingLines.h"
#include "platform/ChildProcess.h"
#include "tests/harness/ListHome.h"

namespace fs = std::filesystem;

namespace {

constexpr char kProcessing[] = "  Processing all new mail...\n";
constexpr char kListId[] = "\"Club\" <club.example.org>";

// What a mail program sees in one captured message: its headers and the
// lines the helper script derives from them.
struct Parsed {
    std::string to;
    std::multimap<std::string, std::string> fields;
    std::string get(const std::string& name) const {
        const auto it = fields.find(name);
        return it == fields.end() ? std::string() : it->second;
    }
    size_t count(const std::string& name) const { return fields.count(name); }
};

class ListCitizen : public testing::Test {
protected:
    void start(int n, const std::string& general, const std::string& members) {
        startAt("127.0.14." + std::to_string(n), general, members);
    }
    void startAt(const std::string& address, const std::string& general, const std::string& members) {
        std::string error;
        ASSERT_TRUE(list.start(address, general, "", members, &error)) << error;
    }

    void deliver(const std::string& headers, const std::string& body = "Some text") {
        list.dovecot->injectMessage(
            "list", headers + "To: list@example.org\r\nDate: Mon, 6 Jan 2025 10:00:00 +0000\r\n\r\n" + body + "\r\n");
    }

    std::string pass() {
        std::string failure;
        const std::string output = WithoutStrippingLines(list.pass(failure));
        EXPECT_EQ(failure, "");
        const size_t begin = output.find(kProcessing);
        if (begin == std::string::npos) return {};
        const size_t from = begin + sizeof kProcessing - 1;
        std::string lines = output.substr(from, output.find("Update Complete\n", begin) - from);
        // Housekeeping lines are not what these tests are about.
        for (size_t at; (at = lines.find("    Deleting attachments...\n")) != std::string::npos;)
            lines.erase(at, 28);
        return lines;
    }

    // Every message the sink caught since the last call, parsed by Python.
    std::vector<Parsed> newMail() {
        std::vector<Parsed> out;
        const auto all = list.sink->messages();
        for (size_t i = seen; i < all.size(); ++i) {
            Parsed p;
            for (const auto& r : all[i].rcptTos) p.to += (p.to.empty() ? "" : ",") + r;
            list.home.write("mail.eml", all[i].data);
            std::stringstream lines(runPython(list.home.file("mail.eml")));
            for (std::string line; std::getline(lines, line);) {
                const size_t tab = line.find('\t');
                if (tab != std::string::npos) p.fields.emplace(line.substr(0, tab), line.substr(tab + 1));
            }
            out.push_back(std::move(p));
        }
        seen = all.size();
        return out;
    }

    std::string runPython(const std::string& file) {
        const std::string outPath = list.home.file("parsed.txt");
        fs::remove(outPath);
        platform::ChildProcess python;
        std::string error;
        EXPECT_TRUE(python.start({"python3", std::string(RINGPOST_SOURCE_DIR) + "engine/tests/parse_mail.py", file},
                                 outPath, &error))
            << error;
        EXPECT_TRUE(python.waitExit(20000));
        return list.home.read("parsed.txt");
    }

    std::vector<std::string> spool() const {
        std::vector<std::string> kinds;
        for (const auto& e : fs::directory_iterator(list.home.file("club"))) {
            const std::string ext = e.path().extension().string();
            if (ext == ".NEW" || ext == ".MSG" || ext == ".BAD") kinds.push_back(ext);
        }
        std::sort(kinds.begin(), kinds.end());
        return kinds;
    }

    std::string members() const { return list.home.read("club/Members.TXT"); }

    harness::ListHome list;
    size_t seen = 0;
};

// What everything the list sends carries, whatever it is.
void expectListLines(const Parsed& m) {
    SCOPED_TRACE(m.to + ": " + m.get("Subject"));
    EXPECT_EQ(m.get("List-Id"), kListId);
    EXPECT_EQ(m.get("unsubscribe-scheme"), "mailto");
    EXPECT_EQ(m.get("unsubscribe-to"), "list@example.org");
    EXPECT_EQ(m.get("unsubscribe-subject"), "UNSUBSCRIBE");
    EXPECT_EQ(m.get("List-Subscribe"), "<mailto:list@example.org?subject=SUBSCRIBE>");
    EXPECT_TRUE(m.get("List-Post").starts_with("<mailto:list@example.org?subject=SUBMIT>"));
    EXPECT_TRUE(m.get("List-Help").starts_with("<mailto:list@example.org?subject=SUBSCRIBE> (")) << m.get("List-Help");
    for (const char* once : {"List-Id", "List-Unsubscribe", "List-Post", "Subject", "From", "To"})
        EXPECT_EQ(m.count(once), 1u) << once;
}

void expectReply(const Parsed& m, const std::string& request) {
    expectListLines(m);
    EXPECT_EQ(m.get("Auto-Submitted"), "auto-replied");
    EXPECT_EQ(m.count("Precedence"), 0u);
    EXPECT_EQ(m.get("In-Reply-To"), request);
}

}  // namespace

TEST_F(ListCitizen, AutomaticMailIsSetAsideUnanswered) {
    start(1, "AdminSubmit=1\r\nAdminSubscribe=1\r\n", "_!_boss@example.org\r\nann@example.org\r\n");
    // The administrator's out-of-office replies, each marked its own way,
    // to requests that would otherwise approve a post or a subscription.
    const std::pair<const char*, const char*> replies[] = {
        {"Auto-Submitted: auto-replied\r\n", "Auto-Submitted: auto-replied"},
        {"Precedence: bulk\r\n", "Precedence: bulk"},
        {"Precedence: junk\r\n", "Precedence: junk"},
        {"Precedence: list\r\n", "Precedence: list"},
        {"X-Autoreply: yes\r\n", "X-Autoreply: yes"},
        {"X-Autorespond: Out of office\r\n", "X-Autorespond: Out of office"},
        {"Return-Path: <>\r\n", "Return-Path: <>"},
    };
    std::string expected;
    for (const auto& [marker, shown] : replies) {
        deliver(std::string("From: Boss <boss@example.org>\r\nSubject: Automatic reply: SUBMIT || bob@example.org || "
                            "Tea party\r\n") + marker,
                "I am away until Monday.");
        expected += std::string("    Automatic mail from Boss <boss@example.org> (") + shown + ")...Setting aside\n";
    }
    deliver("From: boss@example.org\r\nSubject: Automatic reply: SUBSCRIBE mallory@example.org\r\n"
            "Auto-Submitted: auto-replied\r\n",
            "I am away until Monday.");
    expected += "    Automatic mail from boss@example.org (Auto-Submitted: auto-replied)...Setting aside\n";
    deliver("From: Mail Delivery System <MAILER-DAEMON@mx.example.org>\r\nSubject: Undelivered Mail Returned to "
            "Sender\r\nMIME-Version: 1.0\r\nContent-Type: multipart/report; report-type=delivery-status;\r\n"
            "\tboundary=\"b1\"\r\n",
            "--b1\r\nContent-Type: text/plain\r\n\r\nann@example.org: mailbox full\r\n--b1--");
    expected += "    Automatic mail from Mail Delivery System <MAILER-DAEMON@mx.example.org> (Content-Type: "
                "multipart/report; report-type=delivery-status; boundary=\"b1\")...Setting aside\n";
    // One of the list's own copies, come back through a member's forwarding.
    deliver("From: ann@example.org\r\nSubject: SUBMIT Tea party\r\nList-Id: \"Club\" <club.example.org>\r\n");
    expected += "    Automatic mail from ann@example.org (List-Id: \"Club\" <club.example.org>)...Setting aside\n";
    // A person's mail still works: the administrator's own post, and a
    // member's subscription request that goes to the administrator.
    deliver("From: boss@example.org\r\nSubject: SUBMIT Tea party\r\nMessage-ID: <own@example.org>\r\n"
            "Auto-Submitted: no\r\n",
            "Tea at five.");
    expected += "    Submission request from boss@example.org\n      Sending to: boss@example.org...Success\n"
                "      Sending to: ann@example.org...Success\n";
    deliver("From: carl@example.org\r\nSubject: subscribe\r\nMessage-ID: <join@example.org>\r\n", "please");
    expected += "    Subscribe request\n    Admin notified to subscribe carl@example.org\n";

    EXPECT_EQ(pass(), expected);
    EXPECT_EQ(members(), "_!_boss@example.org\r\nann@example.org\r\n");
    const auto mail = newMail();
    ASSERT_EQ(mail.size(), 3u);
    EXPECT_EQ(mail[0].to, "boss@example.org");
    EXPECT_EQ(mail[0].get("Subject"), "Submission from boss@example.org - Tea party");
    EXPECT_EQ(mail[0].get("List-Post"), "<mailto:list@example.org?subject=SUBMIT> (Postings are moderated)");
    EXPECT_EQ(mail[1].to, "ann@example.org");
    EXPECT_EQ(mail[2].to, "boss@example.org");
    EXPECT_EQ(mail[2].get("Subject"), "SUBSCRIBE carl@example.org");
    expectReply(mail[2], "<join@example.org>");  // an approval request is an answer too

    std::vector<std::string> expectedSpool(10, ".BAD");
    expectedSpool.push_back(".MSG");
    EXPECT_EQ(spool(), expectedSpool);
}

TEST_F(ListCitizen, EverythingSentCarriesTheListAndItsThread) {
    start(2, "AdminSubscribe=0\r\nAdminSubmit=0\r\n", "_!_boss@example.org\r\nann@example.org\r\n");
    deliver("From: carl@example.org\r\nSubject: subscribe\r\nMessage-ID: <join@carl.example.org>\r\n", "me");
    deliver("From: Ann <ann@example.org>\r\nSubject: SUBMIT Tea party\r\nMessage-ID: <post@ann.example.org>\r\n"
            "In-Reply-To: <plan@boss.example.org>\r\nReferences: <root@boss.example.org>\r\n <plan@boss.example.org>\r\n",
            "Count me in.");
    deliver("From: ann@example.org\r\nSubject: member list\r\nMessage-ID: <who@ann.example.org>\r\n");
    deliver("From: boss@example.org\r\nSubject: Re: Member List\r\nMessage-ID: <who@boss.example.org>\r\n");
    EXPECT_EQ(pass(),
              "    Subscribe request\n    Subscribe successful.\n"
              "    Submission request from ann@example.org\n      Sending to: boss@example.org...Success\n"
              "      Sending to: ann@example.org...Success\n      Sending to: carl@example.org...Success\n"
              "    Member list request...FAILURE\n"
              "    Member list request...Success\n");
    const auto mail = newMail();
    ASSERT_EQ(mail.size(), 6u);
    expectReply(mail[0], "<join@carl.example.org>");
    EXPECT_EQ(mail[0].get("Subject"), "SUBSCRIBE approved");
    for (size_t i = 1; i <= 3; ++i) {
        const Parsed& copy = mail[i];
        SCOPED_TRACE(copy.to);
        expectListLines(copy);
        EXPECT_EQ(copy.get("Precedence"), "list");
        EXPECT_EQ(copy.count("Auto-Submitted"), 0u);
        EXPECT_EQ(copy.get("In-Reply-To"), "<plan@boss.example.org>");
        EXPECT_EQ(copy.get("References"), "<root@boss.example.org> <plan@boss.example.org> <post@ann.example.org>");
        // A member's program answering the copy keeps the post in the thread.
        EXPECT_NE(copy.get("reply-references").find("<post@ann.example.org>"), std::string::npos)
            << copy.get("reply-references");
    }
    expectReply(mail[4], "<who@ann.example.org>");
    EXPECT_EQ(mail[4].get("Subject"), "Member List Failure");
    expectReply(mail[5], "<who@boss.example.org>");
    EXPECT_EQ(mail[5].get("Subject"), "Club Member List");

    // The unsubscribe address of ann's copy, written to as a mail program's
    // button does: the link's subject and no text.
    const Parsed& annCopy = mail[2];
    ASSERT_EQ(annCopy.to, "ann@example.org");
    deliver("From: ann@example.org\r\nSubject: " + annCopy.get("unsubscribe-subject") +
                "\r\nMessage-ID: <leave@ann.example.org>\r\n",
            "");
    EXPECT_EQ(annCopy.get("unsubscribe-to"), "list@example.org");  // the mailbox deliver() fills
    EXPECT_EQ(pass(), "    Unsubscribe request\n    Unsubscribe successful.\n");
    EXPECT_EQ(members(), "_!_boss@example.org\r\ncarl@example.org\r\n");
    const auto bye = newMail();
    ASSERT_EQ(bye.size(), 1u);
    expectReply(bye[0], "<leave@ann.example.org>");
}

namespace {

constexpr char kReportHeader[] =
    "From: Mail Delivery System <MAILER-DAEMON@mx.example.net>\r\nSubject: Undelivered Mail Returned to Sender\r\n"
    "Auto-Submitted: auto-replied\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/report; report-type=delivery-status; boundary=\"r\"\r\n";

// The delivery-status part of a report on a copy the list sent to `to`.
std::string reportBody(const std::string& to, const std::string& action, const std::string& status) {
    return "--r\r\nContent-Type: text/plain\r\n\r\nThis is the mail system at host mx.example.net.\r\n\r\n"
           "--r\r\nContent-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; mx.example.net\r\n\r\n"
           "Final-Recipient: rfc822; " +
           to + "\r\nAction: " + action + "\r\nStatus: " + status + "\r\nDiagnostic-Code: smtp; 550 " + status +
           " mailbox unavailable\r\n\r\n--r--";
}

// Exim's own words, with no delivery-status part.
std::string eximReport(const std::string& to) {
    return "This message was created automatically by mail delivery software.\r\n\r\nA message that you sent "
           "could not be delivered to one or more of its\r\nrecipients. This is a permanent error. The following "
           "address(es) failed:\r\n\r\n  " +
           to + "\r\n    host mx.example.net [192.0.2.1]: 550 5.1.1 User unknown\r\n";
}

std::string counted(const std::string& who, int n) {
    return "  Delivery report for " + who + "...Counted (" + std::to_string(n) + " of 3)\n";
}
std::string transient(const std::string& who) { return "  Delivery report for " + who + "...Transient, not counted\n"; }

}  // namespace

// Three permanent reports remove a member; transient ones, reports on
// nobody and an administrator's reports remove nobody; a count that rested
// for BounceDays starts over.
TEST_F(ListCitizen, PermanentReportsRemoveAMemberAtTheLimit) {
    startAt("127.0.28.1", "BounceLimit=3\r\n",
            "_!_boss@example.org\r\n_!_dora@example.org\r\nann@example.org\r\nbob@example.org\r\ncarl@example.org\r\n");
    const auto report = [&](const std::string& to, const char* action, const char* status) {
        deliver(kReportHeader, reportBody(to, action, status));
    };
    report("ann@example.org", "failed", "5.1.1");
    report("bob@example.org", "delayed", "4.2.2");
    report("nobody@example.net", "failed", "5.1.1");
    report("boss@example.org", "failed", "5.2.2");
    EXPECT_EQ(pass(), counted("ann@example.org", 1) + transient("bob@example.org") +
                          "  Delivery report names no member...Set aside\n" + counted("boss@example.org", 1));

    deliver("From: Mail Delivery System <Mailer-Daemon@mx.example.net>\r\nSubject: Mail delivery failed\r\n",
            eximReport("ANN@EXAMPLE.ORG"));
    report("bob@example.org", "delayed", "4.2.2");
    report("boss@example.org", "failed", "5.2.2");
    EXPECT_EQ(pass(), counted("ann@example.org", 2) + transient("bob@example.org") + counted("boss@example.org", 2));
    const std::string record = list.home.read("club/Bounces.TXT");
    EXPECT_NE(record.find("ann@example.org\t2\t"), std::string::npos) << record;
    EXPECT_NE(record.find("bob@example.org\t0\t"), std::string::npos) << record;
    EXPECT_EQ(newMail().size(), 0u);

    // Carl's two reports are older than BounceDays (14 by default).
    list.home.write("club/Bounces.TXT", record + "carl@example.org\t2\t2020-01-01\t2020-01-02\t5.1.1\told\r\n");
    report("ann@example.org", "failed", "5.1.1");
    report("boss@example.org", "failed", "5.2.2");
    report("carl@example.org", "failed", "5.1.1");
    EXPECT_EQ(pass(), "  Delivery report for ann@example.org...Member removed\n" + counted("boss@example.org", 3) +
                          counted("carl@example.org", 1));
    EXPECT_EQ(members(), "_!_boss@example.org\r\n_!_dora@example.org\r\nbob@example.org\r\ncarl@example.org\r\n");
    EXPECT_NE(list.home.read("club/Members.OLD").find("ann@example.org"), std::string::npos);
    const std::string after = list.home.read("club/Bounces.TXT");
    EXPECT_EQ(after.find("ann@example.org"), std::string::npos) << after;
    EXPECT_NE(after.find("carl@example.org\t1\t"), std::string::npos) << after;

    // Ann's removal to both administrators; boss's bounces to dora alone.
    const auto sent = list.sink->messages();
    ASSERT_EQ(sent.size(), 3u);
    const std::vector<std::string> to = {sent[0].rcptTos.at(0), sent[1].rcptTos.at(0), sent[2].rcptTos.at(0)};
    EXPECT_EQ(to, (std::vector<std::string>{"boss@example.org", "dora@example.org", "dora@example.org"}));
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NE(sent[i].data.find("Subject: Club bounces: ann@example.org removed"), std::string::npos);
        EXPECT_NE(sent[i].data.find("ann@example.org has been removed from the Club ringpost after 3 delivery"),
                  std::string::npos)
            << sent[i].data;
        EXPECT_NE(sent[i].data.find("5.1.1 550 5.1.1 mailbox unavailable"), std::string::npos) << sent[i].data;
    }
    EXPECT_NE(sent[2].data.find("Mail to the administrator boss@example.org of the Club ringpost"), std::string::npos);
    EXPECT_EQ(spool(), std::vector<std::string>{".BAD"});
}

// Without BounceLimit reports are set aside as before; subscribe and
// unsubscribe need no text, a post does.
TEST_F(ListCitizen, ReportsWithoutALimitAndCommandsWithoutText) {
    startAt("127.0.28.2", "AdminSubscribe=0\r\n", "_!_boss@example.org\r\nann@example.org\r\n");
    std::string expected;
    for (int i = 0; i < 3; ++i) {
        deliver(kReportHeader, reportBody("ann@example.org", "failed", "5.1.1"));
        expected += "    Automatic mail from Mail Delivery System <MAILER-DAEMON@mx.example.net> "
                    "(Auto-Submitted: auto-replied)...Setting aside\n";
    }
    // A report that reached the mailbox through a forward, marked by nothing
    // in its header, is still no command.
    deliver("From: ann@example.org\r\nSubject: SUBSCRIBE\r\n", eximReport("bob@example.org"));
    expected += "    Automatic mail from ann@example.org (delivery report)...Setting aside\n";
    deliver("From: carl@example.org\r\nSubject: SUBSCRIBE\r\n", "");
    expected += "    Subscribe request\n    Subscribe successful.\n";
    deliver("From: ann@example.org\r\nSubject: UNSUBSCRIBE\r\n", "");
    expected += "    Unsubscribe request\n    Unsubscribe successful.\n";
    deliver("From: boss@example.org\r\nSubject: SUBMIT\r\n", "");
    EXPECT_EQ(pass(), expected);
    EXPECT_EQ(members(), "_!_boss@example.org\r\ncarl@example.org\r\n");
    EXPECT_FALSE(fs::exists(list.home.file("club/Bounces.TXT")));
    EXPECT_EQ(spool(), std::vector<std::string>(4, ".BAD"));
    const auto mail = newMail();
    ASSERT_EQ(mail.size(), 2u);  // the welcome and the goodbye, no post
    EXPECT_EQ(mail[0].get("Subject"), "SUBSCRIBE approved");
    EXPECT_EQ(mail[1].get("Subject"), "UNSUBSCRIBE approved");
}
