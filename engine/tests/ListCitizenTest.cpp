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
        std::string error;
        ASSERT_TRUE(list.start("127.0.14." + std::to_string(n), general, "", members, &error)) << error;
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

    // The unsubscribe address of ann's copy, written to as a program would.
    const Parsed& annCopy = mail[2];
    ASSERT_EQ(annCopy.to, "ann@example.org");
    deliver("From: ann@example.org\r\nSubject: " + annCopy.get("unsubscribe-subject") +
                "\r\nMessage-ID: <leave@ann.example.org>\r\n",
            "bye");
    EXPECT_EQ(annCopy.get("unsubscribe-to"), "list@example.org");  // the mailbox deliver() fills
    EXPECT_EQ(pass(), "    Unsubscribe request\n    Unsubscribe successful.\n");
    EXPECT_EQ(members(), "_!_boss@example.org\r\ncarl@example.org\r\n");
    const auto bye = newMail();
    ASSERT_EQ(bye.size(), 1u);
    expectReply(bye[0], "<leave@ann.example.org>");
}
