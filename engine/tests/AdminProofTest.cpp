// Administrators' mail through the installed engine, with each proof a list
// can ask for and with none: a forged From gets no administrator's rights,
// a proven one acts once, and the password reaches no member. Servers on
// 127.0.30.x.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "StrippingLines.h"
#include "tests/harness/ListHome.h"

namespace {

constexpr char kProcessing[] = "  Processing all new mail...\n";
constexpr char kMembers[] = "_!_boss@example.org\r\n_!_chief@example.org\r\nann@example.org\r\n";
constexpr char kNotProven[] = "    Administrator mail not proven...Handled as a member's\n";

// One way of proving administrators' mail, and how a forger fails at it.
struct Proof {
    const char* name;
    const char* settings;  // [General] lines
    std::string proven;    // header lines and body start of a proven message
    std::string forged;    // the same of a forged one
    std::string howTo;     // what approval requests start with
    bool asked() const { return settings[0] != '\0'; }
};

const Proof kPassword{
    "password", "AdminPassword=s3cret\r\n", "|Approved: s3cret\r\n\r\n", "|Approved: guess\r\n",
    "To approve, reply keeping the subject, with \"Approved: \" and the list's password as the first line of your "
    "reply.\r\n\r\n"};
// The provider's header sits above everything the sender wrote.
const Proof kProvider{
    "provider", "TrustAuthServId=mx.example.org\r\n",
    "Authentication-Results: mx.example.org; dkim=pass header.d=example.org; dmarc=pass header.from=example.org\r\n"
    "Authentication-Results: mx.evil.test; dmarc=fail\r\n|",
    "Authentication-Results: mx.example.org; spf=fail smtp.mailfrom=example.org; dmarc=fail header.from=example.org\r\n"
    "Authentication-Results: mx.example.org; dkim=pass header.d=example.org\r\n|",
    "To approve, reply keeping the subject.\r\n\r\n"};
const Proof kNeither{"neither", "", "|", "|", ""};
const Proof* const kProofs[] = {&kNeither, &kPassword, &kProvider};

struct Mail {
    std::string to;
    std::string subject;
    std::string body;
    bool operator==(const Mail&) const = default;
};
void PrintTo(const Mail& m, std::ostream* os) { *os << m.to << " [" << m.subject << "] [" << m.body << "]"; }

class AdminProof : public testing::Test {
protected:
    // Servers on 127.0.30.n: each test its own, since tests run side by side.
    void start(int n, const Proof& proof, const std::string& more = "", const std::string& smtp = "") {
        list = std::make_unique<harness::ListHome>();
        std::string error;
        ASSERT_TRUE(list->start("127.0.30." + std::to_string(n), "AdminSubmit=1\r\n" + more + proof.settings, smtp,
                                kMembers, &error))
            << error;
        seen = 0;
    }

    // `proof` is header lines, '|', then the body's first lines.
    void deliver(const std::string& from, const std::string& subject, const std::string& proof,
                 const std::string& body, const std::string& id = {}) {
        const size_t bar = proof.find('|');
        list->dovecot->injectMessage(
            "list", proof.substr(0, bar) + "From: " + from +
                        "\r\nTo: list@example.org\r\nSubject: " + subject + "\r\nMessage-ID: <" +
                        (id.empty() ? std::to_string(++messages) : id) + "@example.org>\r\n\r\n" +
                        proof.substr(bar + 1) + body + "\r\n");
    }

    // What the processing printed in one pass, housekeeping lines left out.
    std::string pass() {
        std::string failure;
        const std::string output = WithoutStrippingLines(list->pass(failure));
        EXPECT_EQ(failure, "");
        const size_t begin = output.find(kProcessing);
        if (begin == std::string::npos) return output;
        const size_t from = begin + sizeof kProcessing - 1;
        std::string lines = output.substr(from, output.find("Update Complete\n", begin) - from);
        for (size_t at; (at = lines.find("    Deleting attachments...\n")) != std::string::npos;) lines.erase(at, 28);
        return lines;
    }

    std::vector<Mail> newMail() {
        std::vector<Mail> out;
        const auto all = list->sink->messages();
        for (; seen < all.size(); ++seen) {
            const std::string data = "\r\n" + all[seen].data;
            const size_t s = data.find("\r\nSubject: ") + 11;
            const size_t blank = data.find("\r\n\r\n");
            std::string body = data.substr(blank + 4);
            while (body.ends_with("\r\n")) body.resize(body.size() - 2);
            out.push_back({all[seen].rcptTos.at(0), data.substr(s, data.find("\r\n", s) - s), body});
        }
        return out;
    }

    std::string members() const { return list->home.read("club/Members.TXT"); }

    std::unique_ptr<harness::ListHome> list;
    int messages = 0;
    size_t seen = 0;
};

}  // namespace

// A forged From is a member's mail: the post waits for approval, the
// stranger stays out, and nobody is told why. Proven mail acts at once.
TEST_F(AdminProof, ForgedAdministratorMailIsAMembersAndProvenMailActs) {
    int n = 1;
    for (const Proof* proof : kProofs) {
        SCOPED_TRACE(proof->name);
        start(n++, *proof, "AdminSubscribe=1\r\n");
        deliver("boss@example.org", "SUBMIT Offer", proof->forged, "Buy now");
        deliver("Boss <boss@example.org>", "SUBSCRIBE victim@else.test", proof->forged, "x");
        deliver("boss@example.org", "SUBMIT News", proof->proven, "Hello all");
        deliver("chief@example.org", "SUBSCRIBE carl@example.org", proof->proven, "ok");
        const std::string out = pass();
        const std::string offer = "Submission from boss@example.org - Offer";
        const std::string news = "Submission from boss@example.org - News";
        const std::string welcome =
            "Your subscription request has been approved. You will start to\r\nreceive messages from the Club "
            "ringpost.";
        const std::vector<Mail> proven = {{"boss@example.org", news, "Hello all"},
                                          {"ann@example.org", news, "Hello all"},
                                          {"carl@example.org", "SUBSCRIBE approved", welcome}};
        if (!proof->asked()) {
            EXPECT_EQ(out,
                      "    Submission request from boss@example.org\n"
                      "      Sending to: boss@example.org...Success\n      Sending to: ann@example.org...Success\n"
                      "    Subscribe request\n    Subscribe successful.\n"
                      "    Submission request from boss@example.org\n"
                      "      Sending to: boss@example.org...Success\n      Sending to: ann@example.org...Success\n"
                      "      Sending to: victim@else.test...Success\n"
                      "    Subscribe request\n    Subscribe successful.\n");
            std::vector<Mail> all = {{"boss@example.org", offer, "Buy now"},
                                     {"ann@example.org", offer, "Buy now"},
                                     {"victim@else.test", "SUBSCRIBE approved", welcome}};
            all.insert(all.end(), proven.begin(), proven.end());
            all.insert(all.begin() + 5, {"victim@else.test", news, "Hello all"});
            EXPECT_EQ(newMail(), all);
            EXPECT_EQ(members(), std::string(kMembers) + "victim@else.test\r\ncarl@example.org\r\n");
            continue;
        }
        EXPECT_EQ(out, std::string(kNotProven) +
                           "    Submission request from boss@example.org\n"
                           "    Admin notified to approve submission from boss@example.org\n" +
                           kNotProven + "    Subscribe request\n    FAILURE. boss@example.org is already a member.\n" +
                           "    Submission request from boss@example.org\n"
                           "      Sending to: boss@example.org...Success\n      Sending to: ann@example.org...Success\n"
                           "    Subscribe request\n    Subscribe successful.\n");
        const std::string request = proof->howTo + "Buy now";
        std::vector<Mail> all = {{"boss@example.org", "SUBMIT || boss@example.org || Offer", request},
                                 {"chief@example.org", "SUBMIT || boss@example.org || Offer", request}};
        all.insert(all.end(), proven.begin(), proven.end());
        EXPECT_EQ(newMail(), all);
        EXPECT_EQ(members(), std::string(kMembers) + "carl@example.org\r\n");
    }
}

// An approval is the administrator's reply: a forged one distributes
// nothing, a proven one distributes once (without the password), and the
// same reply sent again approves nothing.
TEST_F(AdminProof, ApprovalsNeedAProofAndActOnce) {
    int n = 11;
    for (const Proof* proof : kProofs) {
        SCOPED_TRACE(proof->name);
        start(n++, *proof);
        deliver("ann@example.org", "SUBMIT Topic", "|", "Draft");
        pass();
        const std::string approval = "SUBMIT || ann@example.org || Topic";
        const std::string request = proof->howTo + "Draft";
        EXPECT_EQ(newMail(), (std::vector<Mail>{{"boss@example.org", approval, request},
                                                {"chief@example.org", approval, request}}));

        deliver("chief@example.org", "Re: " + approval, proof->forged, "Forged text");
        deliver("boss@example.org", "Re: " + approval, proof->proven, "Approved text", "approval");
        deliver("boss@example.org", "Re: " + approval, proof->proven, "Approved text", "approval");
        const std::string out = pass();
        const std::string subject = "Submission from ann@example.org - Topic";
        const std::string approved = "    Submission request from boss@example.org\n"
                                     "      Sending to: ann@example.org...Success\n";
        if (!proof->asked()) {
            EXPECT_EQ(out, "    Submission request from chief@example.org\n      Sending to: ann@example.org...Success\n" +
                               approved + approved);
            EXPECT_EQ(newMail(), (std::vector<Mail>{{"ann@example.org", subject, "Forged text"},
                                                    {"ann@example.org", subject, "Approved text"},
                                                    {"ann@example.org", subject, "Approved text"}}));
            continue;
        }
        EXPECT_EQ(out, std::string(kNotProven) +
                           "    Submission request from chief@example.org\n"
                           "    Admin notified to approve submission from chief@example.org\n" +
                           approved + "    Administrator mail <approval@example.org> acted on before...Ignoring\n");
        const auto mail = newMail();
        ASSERT_EQ(mail.size(), 3u);
        EXPECT_EQ(mail[0].to, "boss@example.org");  // the forgery goes to the administrators for approval
        EXPECT_EQ(mail[1].to, "chief@example.org");
        EXPECT_EQ(mail[2], (Mail{"ann@example.org", subject, "Approved text"}));
        EXPECT_NE(list->home.read("club/AdminMail.IDS").find("\t<approval@example.org>\r\n"), std::string::npos);
    }
}

// The HTML half of an approval carries the password line too: with
// attachments passed on, it stays behind.
TEST_F(AdminProof, PasswordReachesNoMember) {
    start(21, kPassword, "", "StripAttachments=0\r\nStripHTML=0\r\n");
    deliver("boss@example.org", "SUBMIT News",
            "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"b\"\r\n|",
            "--b\r\nContent-Type: text/plain\r\n\r\nApproved: s3cret\r\n\r\nHello all\r\n--b\r\n"
            "Content-Type: text/html\r\n\r\n<p>Approved: s3cret</p><p>Hello all</p>\r\n--b--");
    const std::string out = pass();
    EXPECT_THAT(out, testing::HasSubstr("    Attachment Attach"));
    EXPECT_THAT(out, testing::HasSubstr(" holds the administrators' password...Left out\n"));
    EXPECT_THAT(out, testing::Not(testing::HasSubstr("not proven")));
    const auto mail = newMail();
    ASSERT_EQ(mail.size(), 2u);
    for (const Mail& m : mail) {
        EXPECT_EQ(m.subject, "Submission from boss@example.org - News");
        EXPECT_THAT(m.body, testing::HasSubstr("Hello all"));
        EXPECT_THAT(m.body, testing::Not(testing::HasSubstr("s3cret")));
    }
}
