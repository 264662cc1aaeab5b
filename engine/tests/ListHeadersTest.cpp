// The lines that mark what the list sends: identity, commands as mailto
// addresses, distribution or answer, and the thread.
#include <gtest/gtest.h>

#include "engine/ListHeaders.h"
#include "engine/MailHeaders.h"

namespace {

MailList club() {
    MailList list;
    list.name = "Club";
    list.fromAddress = "list@example.org";
    list.adminSubmit = false;
    return list;
}

}  // namespace

TEST(ListHeaders, IdentityFromNameAndFromDomain) {
    struct Case {
        const char* name;
        const char* from;
        const char* id;
    };
    const Case cases[] = {
        {"Club", "list@example.org", "<club.example.org>"},
        {"  Tea & Cake Lovers! ", "Lists <Tea@Mail.Example.ORG>", "<tea-cake-lovers.mail.example.org>"},
        {"Caf\xe9 Cr\xe8me", "list@example.org", "<caf-cr-me.example.org>"},
        {"!!!", "tea-club@example.org", "<tea-club.example.org>"},  // nothing of the name: the mailbox
        {"", "@example.org", "<list.example.org>"},
        {"Club", "list", "<club.localhost>"},                       // no domain to name it under
        {"Club", "list@exa mple..org.", "<club.exa-mple.org>"},
    };
    for (const Case& c : cases) {
        MailList list = club();
        list.name = c.name;
        list.fromAddress = c.from;
        EXPECT_EQ(ListIdentity(list), c.id) << c.name << " / " << c.from;
    }
}

TEST(ListHeaders, CommandsBecomeMailtoLines) {
    MailList list = club();
    EXPECT_EQ(ListHeaderLines(list),
              "List-Id: \"Club\" <club.example.org>\r\n"
              "List-Unsubscribe: <mailto:list@example.org?subject=UNSUBSCRIBE>\r\n"
              "List-Subscribe: <mailto:list@example.org?subject=SUBSCRIBE>\r\n"
              "List-Post: <mailto:list@example.org?subject=SUBMIT>\r\n"
              "List-Help: <mailto:list@example.org?subject=SUBSCRIBE> (subject SUBSCRIBE joins, UNSUBSCRIBE "
              "leaves, SUBMIT posts)\r\n");

    // Odd settings stay inside their lines.
    list.name = "The \"Best\" \\ Club";
    list.subscribeCommand = "JOIN (NOW)";
    list.unsubscribeCommand = "";
    list.submitCommand = "";
    list.adminSubmit = true;
    list.fromAddress = "\"List\" <tea+club@example.org>";
    EXPECT_EQ(ListHeaderLines(list),
              "List-Id: \"The \\\"Best\\\" \\\\ Club\" <the-best-club.example.org>\r\n"
              "List-Subscribe: <mailto:tea+club@example.org?subject=JOIN%20%28NOW%29>\r\n"
              "List-Post: <mailto:tea+club@example.org> (Postings are moderated)\r\n"
              "List-Help: <mailto:tea+club@example.org?subject=JOIN%20%28NOW%29> (subject JOIN \\(NOW\\) joins, "
              "members post with any other subject)\r\n");

    // Settings of any length still give lines that can be sent: what would
    // not fit is left out.
    list = club();
    list.name = std::string(2000, 'n');
    list.fromAddress = "list@" + std::string(300, 'd') + ".example.org";
    list.subscribeCommand = std::string(600, '(');
    list.unsubscribeCommand = std::string(1500, 'U');
    const std::string id = "<" + std::string(63, 'n') + ".example.org>";
    EXPECT_EQ(ListIdentity(list), id);
    const std::string lines = ListHeaderLines(list);
    EXPECT_TRUE(lines.starts_with("List-Id: " + id + "\r\nList-Post: <mailto:list@ddd")) << lines;
    EXPECT_EQ(lines.find("List-Unsubscribe"), std::string::npos);
    EXPECT_EQ(lines.find("List-Subscribe"), std::string::npos);  // 600 x "%28" does not fit
    for (size_t start = 0, end; (end = lines.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 998u);

    // Without a domain there is nowhere to write to; 8-bit names are no phrase.
    list.name = "Caf\xe9";
    list.fromAddress = "list";
    EXPECT_EQ(ListHeaderLines(list), "List-Id: <caf.localhost>\r\n");
}

TEST(ListHeaders, MessageIdsTakeOnlySafeIds) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"<a@x.org>", {"<a@x.org>"}},
        {"  <a@x.org> <b@y.org>\t<c@z>  ", {"<a@x.org>", "<b@y.org>", "<c@z>"}},
        {"Ann's message of Monday <a@x.org>", {"<a@x.org>"}},
        {"<a b@x.org> <ok@x>", {"<ok@x>"}},
        {"<caf\xe9@x> <<nested@x>>", {"<nested@x>"}},
        {"<>", {}},
        {"<a@x.org", {}},
        {"no brackets@x.org", {}},
        {"", {}},
    };
    for (const auto& [value, ids] : cases) EXPECT_EQ(MessageIds(value), ids) << value;
    EXPECT_EQ(MessageIds("<" + std::string(250, 'a') + ">").size(), 1u);
    EXPECT_TRUE(MessageIds("<" + std::string(251, 'a') + ">").empty());
}

TEST(ListHeaders, DistributionsAndRepliesContinueTheThread) {
    const MailList list = club();
    const std::string lines = ListHeaderLines(list);
    struct Case {
        const char* messageId;
        const char* inReplyTo;
        const char* references;
        const char* distribution;  // after the list lines
        const char* reply;
    };
    const Case cases[] = {
        {"", "", "", "Precedence: list\r\n", "Auto-Submitted: auto-replied\r\n"},
        {"<post@x>", "", "", "Precedence: list\r\nReferences: <post@x>\r\n",
         "Auto-Submitted: auto-replied\r\nIn-Reply-To: <post@x>\r\nReferences: <post@x>\r\n"},
        {"<post@x>", "<prev@x>", "<root@x> <prev@x>",
         "Precedence: list\r\nIn-Reply-To: <prev@x>\r\nReferences: <root@x> <prev@x> <post@x>\r\n",
         "Auto-Submitted: auto-replied\r\nIn-Reply-To: <post@x>\r\nReferences: <root@x> <prev@x> <post@x>\r\n"},
        // Without References the answered message stands for the thread.
        {"<post@x>", "<prev@x>", "", "Precedence: list\r\nIn-Reply-To: <prev@x>\r\nReferences: <prev@x> <post@x>\r\n",
         "Auto-Submitted: auto-replied\r\nIn-Reply-To: <post@x>\r\nReferences: <prev@x> <post@x>\r\n"},
        // Ids that cannot be passed on safely are dropped, not copied.
        {"<p st@x>", "<bad\x01@x>", "junk", "Precedence: list\r\n", "Auto-Submitted: auto-replied\r\n"},
    };
    for (const Case& c : cases) {
        IncomingMessage m;
        m.MessageId = c.messageId;
        m.InReplyTo = c.inReplyTo;
        m.References = c.references;
        EXPECT_EQ(DistributionHeaders(list, m), lines + c.distribution) << c.messageId << c.references;
        EXPECT_EQ(ReplyHeaders(list, m), lines + c.reply) << c.messageId << c.references;
    }
}

TEST(ListHeaders, LongThreadsAreFoldedAndTrimmed) {
    const MailList list = club();
    IncomingMessage m;
    m.MessageId = "<post@example.org>";
    for (int i = 0; i < 30; ++i) m.References += "<ref" + std::to_string(i) + "@example.org> ";
    const std::string h = DistributionHeaders(list, m);
    const std::string refs = h.substr(h.find("References:"));
    // The thread's first id, the 18 latest and the post itself.
    EXPECT_TRUE(refs.starts_with("References: <ref0@example.org> <ref12@example.org>")) << refs;
    EXPECT_EQ(refs.find("<ref11@"), std::string::npos);
    EXPECT_TRUE(refs.ends_with(" <ref29@example.org> <post@example.org>\r\n")) << refs;
    size_t lines = 0, start = 0;
    for (size_t end; (end = refs.find("\r\n", start)) != std::string::npos; start = end + 2, ++lines) {
        EXPECT_LE(end - start, 78u) << refs;
        if (lines) {
            EXPECT_EQ(refs[start], ' ') << refs;  // continuation lines
        }
    }
    EXPECT_GT(lines, 1u);
}
