// The installed engine end to end: a temporary home and system directory, a
// list whose mailbox lives in a private Dovecot and whose mail goes to an
// SMTP sink, messages placed in the mailbox, one polling pass, then the
// printed lines, the member file, the spool and every mail the sink caught.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <chrono>
#include <csignal>
#include <thread>
#include <filesystem>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "StrippingLines.h"
#include "tests/harness/EngineProcess.h"
#include "tests/harness/ListHome.h"
#include "tests/harness/ScriptedPop3Server.h"
#include "tests/harness/SmtpSink.h"

namespace fs = std::filesystem;

namespace {

constexpr char kProcessing[] = "  Processing all new mail...\n";

struct Mail {
    std::string to;  // the envelope recipients joined by ","
    std::string subject;
    std::string body;  // without the final line end
};

std::string headerValue(const std::string& data, const std::string& name) {
    const std::string key = "\r\n" + name + ": ";
    size_t pos = ("\r\n" + data).find(key);
    if (pos == std::string::npos) return {};
    pos += key.size() - 2;
    return data.substr(pos, data.find("\r\n", pos) - pos);
}

class ListServer : public testing::Test {
protected:
    // Servers on 127.0.3.n (or `address`), and the list "club" using them.
    void start(int n, const std::string& general, const std::string& members) {
        start("127.0.3." + std::to_string(n), general, members);
    }
    void start(const std::string& address, const std::string& general, const std::string& members) {
        std::string error;
        ASSERT_TRUE(list.start(address, general, "", members, &error)) << error;
    }

    void deliver(const std::string& from, const std::string& subject, const std::string& body) {
        dovecot->injectMessage("list", "From: " + from + "\r\nTo: list@example.org\r\nSubject: " + subject +
                                           "\r\nDate: Mon, 6 Jan 2025 10:00:00 +0000\r\n\r\n" + body + "\r\n");
    }

    // Runs the engine until its first pass is complete, stops it with Ctrl-C
    // and returns what the processing printed, stripping lines left out.
    std::string pass() {
        std::string failure;
        output = WithoutStrippingLines(list.pass(failure));
        EXPECT_EQ(failure, "");
        const size_t begin = output.find(kProcessing);
        if (begin == std::string::npos) return {};
        return output.substr(begin + sizeof kProcessing - 1,
                             output.find("Update Complete\n", begin) - begin - (sizeof kProcessing - 1));
    }

    // The mail the sink caught since the last call, in arrival order.
    std::vector<Mail> newMail() {
        std::vector<Mail> out;
        const auto all = sink->messages();
        for (size_t i = seen; i < all.size(); ++i) {
            Mail m;
            for (const auto& r : all[i].rcptTos) m.to += (m.to.empty() ? "" : ",") + r;
            EXPECT_EQ(all[i].mailFrom, "list@example.org");
            m.subject = headerValue(all[i].data, "Subject");
            const size_t blank = all[i].data.find("\r\n\r\n");
            m.body = blank == std::string::npos ? "" : all[i].data.substr(blank + 4);
            while (m.body.ends_with("\r\n")) m.body.resize(m.body.size() - 2);
            out.push_back(std::move(m));
        }
        seen = all.size();
        return out;
    }

    std::vector<std::string> spool() const {
        std::vector<std::string> kinds;
        for (const auto& e : fs::directory_iterator(home.file("club"))) {
            const std::string ext = e.path().extension().string();
            if (ext == ".NEW" || ext == ".MSG" || ext == ".BAD") kinds.push_back(ext);
        }
        std::sort(kinds.begin(), kinds.end());
        return kinds;
    }

    std::string members() const { return home.read("club/Members.TXT"); }

    harness::ListHome list;
    TempDir& home = list.home;
    std::unique_ptr<harness::DovecotServer>& dovecot = list.dovecot;
    std::unique_ptr<harness::SmtpSink>& sink = list.sink;
    std::string output;
    size_t seen = 0;
};

MATCHER_P3(IsMail, to, subject, body, "") {
    *result_listener << "to " << arg.to << ", subject " << arg.subject << ", body [" << arg.body << "]";
    return arg.to == to && arg.subject == subject && arg.body == body;
}

// Makes a file immutable (or not again); false where the file system or the
// caller's rights do not allow it.
bool SetImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

const char kDefaultWelcome[] =
    "Your subscription request has been approved. You will start to\r\nreceive messages from the Club ringpost.";

}  // namespace

TEST_F(ListServer, SubscribeOnAnOpenList) {
    start(20, "AdminSubscribe=0\r\n", "_!_boss@example.org\r\nann@example.org\r\n");
    deliver("Carl Doe <carl@example.org>", "subscribe", "please");
    deliver("ann@example.org", "Subscribe", "again");
    deliver("Dan <dan@nodot>", "subscribe", "me");
    deliver("_!_eve@example.org", "subscribe", "me");
    EXPECT_EQ(pass(),
              "    Subscribe request\n    Subscribe successful.\n"
              "    Subscribe request\n    FAILURE. ann@example.org is already a member.\n"
              "    Subscribe request\n    FAILURE. dan@nodot is not a valid E-Mail address.\n"
              "    Subscribe request\n    FAILURE. _!_eve@example.org is not a valid E-Mail address.\n");
    EXPECT_THAT(newMail(), testing::ElementsAre(IsMail("carl@example.org", "SUBSCRIBE approved", kDefaultWelcome)));
    EXPECT_EQ(members(), "_!_boss@example.org\r\nann@example.org\r\ncarl@example.org\r\n");
    EXPECT_EQ(home.read("club/Members.OLD"), "_!_boss@example.org\r\nann@example.org\r\n");
    EXPECT_TRUE(spool().empty());

    // The welcome file, when there is one, is the confirmation.
    home.write("club/Welcome.TXT", "Welcome aboard!\nBe kind.\n");
    deliver("fay@example.org", "SUBSCRIBE", "x");
    EXPECT_EQ(pass(), "    Subscribe request\n    Subscribe successful.\n");
    EXPECT_THAT(newMail(),
                testing::ElementsAre(IsMail("fay@example.org", "SUBSCRIBE approved", "Welcome aboard!\r\nBe kind.")));
    // The "_!_" subscriber never became anybody, let alone an administrator.
    EXPECT_EQ(members(), "_!_boss@example.org\r\nann@example.org\r\ncarl@example.org\r\nfay@example.org\r\n");
}

TEST_F(ListServer, SubscribeNeedingApproval) {
    start(21, "AdminSubscribe=1\r\n", "_!_boss@example.org\r\n_!_chief@example.org\r\nann@example.org\r\n");
    deliver("Carl <carl@example.org>", "subscribe", "please");
    EXPECT_EQ(pass(),
              "    Subscribe request\n    Admin notified to subscribe carl@example.org\n"
              "    Deleting attachments...\n");
    const std::string request =
        "In order to allow Carl <carl@example.org> to subscribe to the\r\nClub list, you must reply to this "
        "E-Mail.\r\n\r\nClick the \"Reply\" button and then click the \"Send\" button.\r\n\r\nIf you do not wish "
        "Carl <carl@example.org> to subscribe to the Club list,\r\nthen simply delete and ignore this message.";
    EXPECT_THAT(newMail(), testing::ElementsAre(IsMail("boss@example.org", "SUBSCRIBE carl@example.org", request),
                                                IsMail("chief@example.org", "SUBSCRIBE carl@example.org", request)));
    EXPECT_EQ(members(), "_!_boss@example.org\r\n_!_chief@example.org\r\nann@example.org\r\n");

    deliver("boss@example.org", "RE: SUBSCRIBE carl@example.org", "ok");
    deliver("chief@example.org", "subscribe", "me?");
    deliver("boss@example.org", "subscribe ann@example.org", "twice");
    EXPECT_EQ(pass(),
              "    Subscribe request\n    Subscribe successful.\n"
              "    Subscribe request\n    FAILURE. chief@example.org is an Admin.\n    Deleting attachments...\n"
              "    Subscribe request\n    FAILURE. subscribe ann@example.org is already a member.\n"
              "    Deleting attachments...\n");
    const std::string yourself = "You can not subscribe yourself; you are an Administrator.";
    const std::string twice =
        "Unable to parse subject line. (ann@example.org is already a member of this list).\r\nsubscribe "
        "ann@example.org";
    EXPECT_THAT(newMail(),
                testing::ElementsAre(IsMail("carl@example.org", "SUBSCRIBE approved", kDefaultWelcome),
                                     IsMail("boss@example.org", "SUBSCRIBE command failure.", yourself),
                                     IsMail("chief@example.org", "SUBSCRIBE command failure.", yourself),
                                     IsMail("boss@example.org", "SUBSCRIBE command failure.", twice),
                                     IsMail("chief@example.org", "SUBSCRIBE command failure.", twice)));
    EXPECT_EQ(members(), "_!_boss@example.org\r\n_!_chief@example.org\r\nann@example.org\r\ncarl@example.org\r\n");
}

TEST_F(ListServer, Unsubscribe) {
    // Entries after a blank line count, and every copy of the leaver goes.
    start(22, "AdminUnsubscribe=0\r\n",
          "_!_boss@example.org\r\nann@example.org\r\n\r\nbob@example.org\r\nBOB@example.org\r\n");
    deliver("ANN@EXAMPLE.ORG", "Please unsubscribe me", "bye");
    deliver("Bob <bob@example.org>", "unsubscribe", "bye");
    deliver("zed@example.org", "unsubscribe", "bye");
    EXPECT_EQ(pass(),
              "    Unsubscribe request\n    Unsubscribe successful.\n"
              "    Unsubscribe request\n    Unsubscribe successful.\n"
              "    Invalid E-Mail from zed@example.org...Ignoring\n    Deleting attachments...\n");
    const std::string bye =
        "Your unsubscription request has been approved. You will no longer\r\nreceive messages from the Club "
        "ringpost.";
    EXPECT_THAT(newMail(), testing::ElementsAre(IsMail("ANN@EXAMPLE.ORG", "UNSUBSCRIBE approved", bye),
                                                IsMail("bob@example.org", "UNSUBSCRIBE approved", bye)));
    EXPECT_EQ(members(), "_!_boss@example.org\r\n\r\n");
}

TEST_F(ListServer, UnsubscribeNeedingApproval) {
    start(23, "AdminUnsubscribe=1\r\n", "_!_boss@example.org\r\nann@example.org\r\n");
    deliver("ann@example.org", "unsubscribe", "bye");
    deliver("boss@example.org", "unsubscribe nobody@example.org", "go");
    deliver("boss@example.org", "Re: UNSUBSCRIBE ann@example.org", "approved");
    EXPECT_EQ(pass(),
              "    Unsubscribe request\n    Admin notified to unsubscribe ann@example.org\n"
              "    Deleting attachments...\n"
              "    Unsubscribe request\n    FAILURE. unsubscribe nobody@example.org is not a member.\n"
              "    Deleting attachments...\n"
              "    Unsubscribe request\n    Unsubscribe successful.\n");
    const auto mail = newMail();
    ASSERT_EQ(mail.size(), 3u);
    EXPECT_EQ(mail[0].to, "boss@example.org");
    EXPECT_EQ(mail[0].subject, "UNSUBSCRIBE ann@example.org");
    EXPECT_THAT(mail[1], IsMail("boss@example.org", "UNSUBSCRIBE command failure.",
                                "Unable to parse subject line. (nobody@example.org isn't a member of this "
                                "list).\r\nunsubscribe nobody@example.org"));
    EXPECT_EQ(mail[2].to, "ann@example.org");
    EXPECT_EQ(members(), "_!_boss@example.org\r\n");
}

TEST_F(ListServer, SubmissionToAnOpenList) {
    start(24, "AdminSubmit=0\r\n", "_!_boss@example.org\r\nann@example.org\r\nbob@example.org\r\n");
    home.write("club/prepend.txt", "[Club]\n");
    home.write("club/postpend.txt", "-- \nClub footer\n");
    // Dovecot dot-stuffs ".dots" on the way out; the members must get it back.
    deliver("Ann <ann@example.org>", "Re: please submit  my poem", "\r\n\r\nRoses\r\n.dots\r\n\r\nend");
    deliver("zed@example.org", "submit hi", "spam");
    deliver("ann@example.org", "hello", "no command");
    EXPECT_EQ(pass(),
              "    Submission request from ann@example.org\n"
              "      Sending to: boss@example.org...Success\n"
              "      Sending to: ann@example.org...Success\n"
              "      Sending to: bob@example.org...Success\n"
              "    Invalid E-Mail from zed@example.org...Ignoring\n    Deleting attachments...\n"
              "    Invalid E-Mail from ann@example.org...Ignoring\n    Deleting attachments...\n");
    const std::string subject = "Submission from ann@example.org - my poem";
    const std::string body = "[Club]\r\nRoses\r\n.dots\r\n\r\nend-- \r\nClub footer";
    EXPECT_THAT(newMail(), testing::ElementsAre(IsMail("boss@example.org", subject, body),
                                                IsMail("ann@example.org", subject, body),
                                                IsMail("bob@example.org", subject, body)));
    EXPECT_EQ(spool(), std::vector<std::string>{".MSG"});
}

TEST_F(ListServer, SubmissionApprovalRoundTrip) {
    start(25, "AdminSubmit=1\r\n",
          "_!_boss@example.org\r\n_!_chief@example.org\r\nann@example.org\r\nbob@example.org\r\n");
    deliver("bob@example.org", "SUBMIT Hello", "Draft text");
    deliver("chief@example.org", "submit News", "From the chief");
    EXPECT_EQ(pass(),
              "    Submission request from bob@example.org\n"
              "    Admin notified to approve submission from bob@example.org\n    Deleting attachments...\n"
              "    Submission request from chief@example.org\n"
              "      Sending to: chief@example.org...Success\n"
              "      Sending to: ann@example.org...Success\n"
              "      Sending to: bob@example.org...Success\n    Deleting attachments...\n");
    const std::string approval = "SUBMIT || bob@example.org || Hello";
    const std::string news = "Submission from chief@example.org - News";
    EXPECT_THAT(newMail(), testing::ElementsAre(IsMail("boss@example.org", approval, "Draft text"),
                                                IsMail("chief@example.org", approval, "Draft text"),
                                                IsMail("chief@example.org", news, "From the chief"),
                                                IsMail("ann@example.org", news, "From the chief"),
                                                IsMail("bob@example.org", news, "From the chief")));
    EXPECT_EQ(spool(), std::vector<std::string>{".MSG"});

    // A reply that runs out of text names no sender: nothing goes out and
    // it stays for a person to look at. The approval after it is still
    // distributed, to the members only.
    deliver("boss@example.org", "SUBMIT ||", "odd");
    deliver("boss@example.org", "RE: " + approval, "Approved text");
    const std::string out = pass();
    EXPECT_NE(out.find("    Submission request from boss@example.org\n"
                       "    FAILURE.  is not a valid E-Mail address (it names no address).\n"
                       "    Submission request from boss@example.org\n      Sending to: ann@example.org..."),
              std::string::npos)
        << out;
    const auto mail = newMail();
    ASSERT_EQ(mail.size(), 2u);
    EXPECT_THAT(mail[0], IsMail("ann@example.org", "Submission from bob@example.org - Hello", "Approved text"));
    EXPECT_THAT(mail[1], IsMail("bob@example.org", "Submission from bob@example.org - Hello", "Approved text"));
    EXPECT_EQ(spool(), (std::vector<std::string>{".BAD", ".MSG", ".MSG"}));
}

TEST_F(ListServer, SubmissionWithEmptySubmitCommand) {
    start(26, "Submit=\r\nAdminSubmit=0\r\n", "ann@example.org\r\nbob@example.org\r\n");
    deliver("ann@example.org", "Just hello", "Hi all");
    EXPECT_EQ(pass(),
              "    Submission request from ann@example.org\n"
              "      Sending to: ann@example.org...Success\n      Sending to: bob@example.org...Success\n");
    EXPECT_THAT(newMail(), testing::ElementsAre(
                               IsMail("ann@example.org", "Submission from ann@example.org - Just hello", "Hi all"),
                               IsMail("bob@example.org", "Submission from ann@example.org - Just hello", "Hi all")));
}

TEST_F(ListServer, SubmissionForApprovalWithoutAdministratorsOrWhenTheForwardFails) {
    start(27, "AdminSubmit=1\r\n", "ann@example.org\r\n");
    deliver("ann@example.org", "SUBMIT x", "text");
    EXPECT_EQ(pass(),
              "    Submission request from ann@example.org\n"
              "    Admin notified to approve submission from ann@example.org\n    Deleting attachments...\n");
    EXPECT_TRUE(newMail().empty());
    EXPECT_TRUE(spool().empty());

    // The sink refuses this administrator: the post is set aside, not lost.
    home.write("club/Members.TXT", "_!_refused-boss@example.org\r\nann@example.org\r\n");
    deliver("ann@example.org", "SUBMIT y", "keep me");
    const std::string out = pass();
    EXPECT_TRUE(out.starts_with("    Submission request from ann@example.org\n    SEND FAILURE: -")) << out;
    EXPECT_EQ(out.find("Deleting attachments"), std::string::npos);
    EXPECT_EQ(spool(), std::vector<std::string>{".BAD"});
}

TEST_F(ListServer, MemberListRequests) {
    start(28, "", "_!_boss@example.org\r\nann@example.org\r\nBoss@Example.ORG\r\n");
    deliver("Boss <boss@example.org>", "Re: Member List", "");
    deliver("ann@example.org", "member list", "please");
    deliver("zed@example.org", "MEMBER LIST", "please");
    EXPECT_EQ(pass(),
              "    Member list request...Success\n    Deleting attachments...\n"
              "    Member list request...FAILURE\n    Deleting attachments...\n"
              "    Invalid E-Mail from zed@example.org...Ignoring\n    Deleting attachments...\n");
    EXPECT_THAT(newMail(),
                testing::ElementsAre(
                    IsMail("boss@example.org", "Club Member List",
                           "Member List:\r\n\r\nboss@example.org  (Administrator)\r\nann@example.org\r\n"
                           "Boss@Example.ORG  (Administrator)"),
                    IsMail("ann@example.org", "Member List Failure",
                           "Only an Administrator may request a member list.")));
}

TEST_F(ListServer, SpoolFatesAndOrder) {
    start(29, "AdminSubscribe=0\r\n", "ann@example.org\r\n");
    dovecot->injectMessage("list", "From: ann@example.org\r\nSubject: submit x\r\n\r\nno To header\r\n");
    deliver("ann@example.org", "SUBMIT", "\r\n\r\n");  // only blank lines: dropped silently
    deliver("cat@example.org", "subscribe", "1");
    deliver("cat@example.org", "unsubscribe", "2");
    EXPECT_EQ(pass(),
              "    Deleting attachments...\n"  // the file without To:
              "    Deleting attachments...\n"  // the empty body
              "    Subscribe request\n    Subscribe successful.\n"
              "    Unsubscribe request\n    Unsubscribe successful.\n");
    EXPECT_EQ(spool(), std::vector<std::string>{".BAD"});
    EXPECT_EQ(members(), "ann@example.org\r\n");
}

// What an administrator names is stored as the address alone, and a request
// nobody could be asked about is kept as ".BAD", not lost.
TEST_F(ListServer, NamedAddressStoredBareAndUnforwardedRequestKept) {
    start(30, "AdminSubscribe=1\r\n", "_!_boss@example.org\r\nann@example.org\r\n");
    deliver("boss@example.org", "Re: SUBSCRIBE <frank@example.org>", "ok");
    EXPECT_EQ(pass(), "    Subscribe request\n    Subscribe successful.\n");
    EXPECT_THAT(newMail(), testing::ElementsAre(IsMail("frank@example.org", "SUBSCRIBE approved", kDefaultWelcome)));
    EXPECT_EQ(members(), "_!_boss@example.org\r\nann@example.org\r\nfrank@example.org\r\n");

    sink.reset();  // the administrators cannot be reached
    deliver("carl@example.org", "subscribe", "please");
    EXPECT_EQ(pass(), "    Subscribe request\n    SEND FAILURE: -3\n");
    EXPECT_EQ(spool(), std::vector<std::string>{".BAD"});
}

// A From that names several addresses, or hides one behind another, is
// nobody: it neither becomes a member nor passes for the administrator, and
// a member line holding several addresses never reaches the SMTP server.
TEST_F(ListServer, OnlyOneAddressIsEverTakenFromMail) {
    const std::string club = "_!_boss@example.org\r\nann@example.org\r\n";
    start("127.0.24.1", "AdminSubscribe=0\r\nAdminSubmit=0\r\n", club);
    deliver("Eve <postmaster,root,victim@x.test>", "subscribe", "me");
    deliver("eve@evil.test (<boss@example.org>)", "member list", "");
    deliver("eve@evil.test, <boss@example.org>", "subscribe mallory@evil.test", "approved");
    deliver("zed@example.org (\x1b[2K\x1b[1A    Subscribe successful.)", "hello", "x");
    EXPECT_EQ(pass(),
              "    Subscribe request\n    FAILURE. Eve <postmaster,root,victim@x.test> is not a valid E-Mail address "
              "(it is not written as an address).\n    Deleting attachments...\n"
              "    Invalid E-Mail from eve@evil.test (<boss@example.org>)...Ignoring\n    Deleting attachments...\n"
              "    Subscribe request\n    FAILURE. eve@evil.test, <boss@example.org> is not a valid E-Mail address "
              "(it names more than one address).\n    Deleting attachments...\n"
              "    Invalid E-Mail from zed@example.org (\\x1B[2K\\x1B[1A    Subscribe successful.)...Ignoring\n"
              "    Deleting attachments...\n");
    EXPECT_TRUE(newMail().empty());
    EXPECT_EQ(members(), club);

    // A line such a From left in the member file is mailed to nobody.
    home.write("club/Members.TXT", club + "postmaster,root,victim@x.test\r\n");
    deliver("ann@example.org", "submit news", "Hello");
    EXPECT_EQ(pass(),
              "    Submission request from ann@example.org\n"
              "      Sending to: boss@example.org...Success\n"
              "      Sending to: ann@example.org...Success\n"
              "      Sending to: postmaster,root,victim@x.test...FAILURE: -20\n");
    EXPECT_THAT(newMail(), testing::ElementsAre(testing::Field(&Mail::to, "boss@example.org"),
                                                testing::Field(&Mail::to, "ann@example.org")));
}

// A member file that cannot be rewritten: the change is undone, nobody is
// told of it, and the request stays for the administrator.
TEST_F(ListServer, FailedMemberFileRewrite) {
    start(31, "AdminSubscribe=1\r\n", "_!_boss@example.org\r\nann@example.org\r\n");
    const std::string path = home.file("club/Members.TXT");
    if (!SetImmutable(path, true)) GTEST_SKIP() << "cannot make the member file immutable here (needs root)";
    deliver("boss@example.org", "subscribe gina@example.org", "ok");
    deliver("bob@example.org", "subscribe", "me too");
    const std::string printed = pass();
    SetImmutable(path, false);
    EXPECT_EQ(printed,
              "    Subscribe request\n    FAILURE. Unable to write the member file: Operation not permitted\n"
              "    Subscribe request\n    Admin notified to subscribe bob@example.org\n"
              "    Deleting attachments...\n");
    EXPECT_THAT(newMail(), testing::ElementsAre(testing::Field(&Mail::to, "boss@example.org")));
    EXPECT_EQ(spool(), std::vector<std::string>{".BAD"});
    EXPECT_EQ(members(), "_!_boss@example.org\r\nann@example.org\r\n");

    // Once the file can be written again, the same request goes through.
    deliver("boss@example.org", "subscribe gina@example.org", "ok");
    EXPECT_EQ(pass(), "    Subscribe request\n    Subscribe successful.\n");
    EXPECT_EQ(members(), "_!_boss@example.org\r\nann@example.org\r\ngina@example.org\r\n");
}

// A stop request or a kill while a post goes out: the members served so far
// are not served again, and a later pass, with no new mail, serves the rest.
TEST(ListServerFaults, StopOrKillDuringADistributionServesEachMemberOnce) {
    struct Case {
        const char* name;
        int signal;
        int address;
    };
    for (const Case c : {Case{"stop request", SIGINT, 60}, Case{"kill", SIGKILL, 61}}) {
        SCOPED_TRACE(c.name);
        harness::ListHome list;
        std::string error;
        // "busy" is answered "try later": the engine pauses before trying again.
        ASSERT_TRUE(list.start("127.0.3." + std::to_string(c.address), "AdminSubmit=0\r\n", "",
                               "ann@example.org\r\nbusy@example.org\r\nbob@example.org\r\n", &error))
            << error;
        list.dovecot->injectMessage("list", "From: ann@example.org\r\nTo: list@example.org\r\nSubject: submit news"
                                            "\r\n\r\nHello\r\n");
        EngineProcess engine;
        ASSERT_TRUE(engine.start(list.home.path() + "/RingpostSvc", {"-start", "100"},
                                 {"RINGPOST_SYSTEM_DIR=" + list.system.path()}));
        ASSERT_TRUE(engine.waitFor("Sending to: busy@example.org...", 1, 60000)) << engine.output();
        engine.signal(c.signal);
        engine.waitExit();
        if (c.signal == SIGINT) {
            EXPECT_NE(engine.output().find("    2 member(s) wait for a later pass\n"), std::string::npos)
                << engine.output();
            EXPECT_EQ(engine.output().find("Sending to: bob"), std::string::npos) << engine.output();
        }
        auto recipients = [&] {
            std::vector<std::string> r;
            for (const auto& m : list.sink->messages()) r.insert(r.end(), m.rcptTos.begin(), m.rcptTos.end());
            return r;
        };
        EXPECT_EQ(recipients(), std::vector<std::string>{"ann@example.org"});

        // The busy member has moved meanwhile; nothing new is in the mailbox.
        list.home.write("club/Members.TXT", "ann@example.org\r\ncy@example.org\r\nbob@example.org\r\n");
        std::string failure;
        const std::string out = list.pass(failure);
        EXPECT_EQ(failure, "");
        EXPECT_EQ(recipients(), (std::vector<std::string>{"ann@example.org", "cy@example.org", "bob@example.org"}))
            << out;
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(list.home.file("club")))
            if (e.path().extension() != ".INI" && e.path().extension() != ".TXT" && e.path().filename() != "Fetched.IDS")
                left.push_back(e.path().extension().string());
        EXPECT_EQ(left, std::vector<std::string>{".MSG"});
    }
}

// The engine killed in the middle of a download: what had arrived is never
// taken for a message, not even when the message is gone from the server.
TEST(ListServerFaults, KillDuringADownloadLeavesNothingHalfDone) {
    const std::string address = "127.0.3.62";
    harness::ListHome list;
    list.sink = std::make_unique<harness::SmtpSink>(harness::SmtpSink::Kind::Python, address);
    ASSERT_TRUE(list.sink->start());
    std::string text;
    for (int i = 0; i < 80; ++i) text += std::string(48, 'x') + "\r\n";
    const std::string post = "From: ann@example.org\r\nTo: list@example.org\r\nSubject: submit news\r\n\r\n" + text;
    auto configure = [&](const std::string& pop3) {
        list.home.mkdir("club");
        list.home.write("club/Settings.INI", "[General]\r\nName=Club\r\nAdminSubmit=0\r\n[POP3]\r\nServer=" + pop3 +
                                                 "\r\nUsername=list\r\nPassword=secret\r\n[SMTP]\r\nServer=" +
                                                 address + "\r\nFrom=list@example.org\r\n[Messages]\r\nKeep=5\r\n");
        list.home.write("club/Members.TXT", "ann@example.org\r\nbob@example.org\r\n");
    };
    {
        harness::ScriptedPop3Server stalling(address);
        stalling.greetAndLogin().reply("+OK\r\n1 aaa\r\n.\r\n").reply("+OK\r\n" + post.substr(0, 2000)).pause(30000);
        ASSERT_TRUE(stalling.start());
        configure(stalling.server());
        EngineProcess engine;
        ASSERT_TRUE(engine.start(list.home.path() + "/RingpostSvc", {"-start", "100"},
                                 {"RINGPOST_SYSTEM_DIR=" + list.system.path()}));
        ASSERT_TRUE(engine.waitFor("Getting message: 1  ID: aaa...", 1, 60000)) << engine.output();
        // Killed once the first half is on disk, wherever it is written.
        auto halfWritten = [&] {
            for (const char* name : {"club/Download.TMP", "club/aaa.NEW"}) {
                std::error_code ec;
                if (fs::file_size(list.home.file(name), ec) >= 2000 && !ec) return true;
            }
            return false;
        };
        for (int i = 0; i < 500 && !halfWritten(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(halfWritten());
        engine.signal(SIGKILL);
        engine.waitExit();
        EXPECT_FALSE(fs::exists(list.home.file("club/aaa.NEW")));
    }
    // Meanwhile the cut message was taken from the mailbox; another came.
    harness::ScriptedPop3Server whole(address);
    whole.greetAndLogin()
        .reply("+OK\r\n1 bbb\r\n.\r\n")
        .reply("+OK\r\n" + post + ".\r\n")
        .reply("+OK\r\n")
        .reply("+OK bye\r\n");
    ASSERT_TRUE(whole.start());
    configure(whole.server());
    std::string failure;
    const std::string out = list.pass(failure);
    EXPECT_EQ(failure, "");
    std::vector<std::string> recipients;
    for (const auto& m : list.sink->messages()) {
        recipients.insert(recipients.end(), m.rcptTos.begin(), m.rcptTos.end());
        EXPECT_NE(m.data.find(text), std::string::npos);
    }
    EXPECT_EQ(recipients, (std::vector<std::string>{"ann@example.org", "bob@example.org"})) << out;
    EXPECT_TRUE(fs::exists(list.home.file("club/bbb.MSG"))) << out;
    EXPECT_FALSE(fs::exists(list.home.file("club/aaa.MSG"))) << out;
    EXPECT_FALSE(fs::exists(list.home.file("club/Download.TMP"))) << out;
}
