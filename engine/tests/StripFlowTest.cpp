// A post with an attachment and an HTML part through the installed engine:
// a private Dovecot holds the list's mailbox, an SMTP sink catches what the
// members receive, once with stripping on and once with it off.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "mime/tests/MimeFixtures.h"
#include "tests/harness/ListHome.h"

namespace fs = std::filesystem;

namespace {

const std::string kPhoto = fixtures::randomBytes(30000, 11);

// The text, an HTML part a client names only in its disposition (so it stays
// inline), a binary attachment; the server's "." line follows the closing
// delimiter directly.
std::string post() {
    return "From: Ann <ann@example.org>\r\n"
           "To: list@example.org\r\n"
           "Subject: submit holiday\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"=_b1\"\r\n"
           "\r\n"
           "--=_b1\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n"
           "\r\n"
           "Pictures from the trip.\r\n"
           ".Ann\r\n"
           "--=_b1\r\n"
           "Content-Type: text/html; charset=us-ascii\r\n"
           "Content-Disposition: inline; filename=\"card.html\"\r\n"
           "\r\n"
           "<html>\r\n"
           "<body><b>Greetings</b></body>\r\n"
           "</html>\r\n"
           "--=_b1\r\n"
           "Content-Type: image/jpeg; name=\"photo.jpg\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; filename=\"photo.jpg\"\r\n"
           "\r\n" +
           fixtures::base64Lines(kPhoto) + "--=_b1--\r\n";
}

std::string decodeBase64(const std::string& lines) {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : lines) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else continue;  // line ends and padding
        bits = (bits << 6) | static_cast<uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    } else if (count == 2) {
        out += static_cast<char>(bits >> 4);
    }
    return out;
}

// The decoded content of the part whose disposition names `name`, or "none".
std::string attachment(const std::string& mail, const std::string& name) {
    const size_t at = mail.find("filename=\"" + name + "\"");
    if (at == std::string::npos) return "none";
    const size_t start = mail.find("\r\n\r\n", at);
    const size_t end = mail.find("\r\n--", start);
    if (start == std::string::npos || end == std::string::npos) return "none";
    return decodeBase64(mail.substr(start + 4, end - start - 4));
}

class StripFlow : public testing::Test {
protected:
    // Servers on 127.0.6.n; `general` and `smtp` are lines of those settings sections.
    void start(int n, const std::string& general, const std::string& smtp,
               const std::string& members = "ann@example.org\r\nbob@example.org\r\n") {
        std::string error;
        ASSERT_TRUE(list.start("127.0.6." + std::to_string(n), general, smtp, members, &error)) << error;
    }

    // One polling pass; returns the engine's output.
    std::string pass() {
        std::string failure;
        const std::string out = list.pass(failure);
        EXPECT_EQ(failure, "");
        return out;
    }

    // The mail as the members received it, after checking both got it.
    std::string received() {
        const auto mail = sink->messages();
        EXPECT_EQ(mail.size(), 2u);
        if (mail.size() != 2) return {};
        EXPECT_EQ(mail[0].rcptTos, std::vector<std::string>{"ann@example.org"});
        EXPECT_EQ(mail[1].rcptTos, std::vector<std::string>{"bob@example.org"});
        EXPECT_EQ(mail[0].data.substr(mail[0].data.find("\r\n\r\n")), mail[1].data.substr(mail[1].data.find("\r\n\r\n")));
        return mail[0].data;
    }

    // The spool's kinds of file, sorted, and each attachment folder's files.
    std::string spool() const {
        std::vector<std::string> kinds;
        for (const auto& e : fs::directory_iterator(home.file("club"))) {
            if (e.is_directory()) {
                std::string files;
                for (const auto& f : fs::directory_iterator(e.path())) files += f.path().filename().string();
                kinds.push_back("dir(" + files + ")");
            } else if (e.path().extension() != ".INI" && e.path().extension() != ".TXT" &&
                       e.path().filename() != "Fetched.IDS") {
                kinds.push_back(e.path().extension().string().substr(1));
            }
        }
        std::sort(kinds.begin(), kinds.end());
        std::string all;
        for (const auto& k : kinds) all += (all.empty() ? "" : " ") + k;
        return all;
    }

    harness::ListHome list;
    TempDir& home = list.home;
    std::unique_ptr<harness::DovecotServer>& dovecot = list.dovecot;
    std::unique_ptr<harness::SmtpSink>& sink = list.sink;
};

}  // namespace

TEST_F(StripFlow, StrippingOnSendsCleanText) {
    start(1, "AdminSubmit=0\r\n", "StripAttachments=1\r\nStripHTML=1\r\n");
    dovecot->injectMessage("list", post());
    const std::string out = pass();
    EXPECT_NE(out.find("    Stripping Attachments...\n      Decoded photo.jpg\n    Deleting attachments...\n"
                       "      Removing "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("      Removed 1 attachment.\n    Stripping HTML...\n    Submission request from ann@example.org\n"
                       "      Sending to: ann@example.org...Success\n      Sending to: bob@example.org...Success\n"),
              std::string::npos)
        << out;
    const std::string mail = received();
    EXPECT_NE(mail.find("Subject: Submission from ann@example.org - holiday\r\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("Content-Type: text/plain; charset=us-ascii\r\n"), std::string::npos) << mail;
    EXPECT_EQ(mail.find("multipart"), std::string::npos) << mail;
    const std::string body = mail.substr(mail.find("\r\n\r\n") + 4);
    EXPECT_EQ(body, "Pictures from the trip.\r\n.Ann\r\n-=> HTML removed by KOVA Ringpost <=-\r\n");
    EXPECT_EQ(spool(), "MSG");
}

TEST_F(StripFlow, StrippingOffSendsTheAttachmentsIntact) {
    start(2, "AdminSubmit=0\r\n", "StripAttachments=0\r\nStripHTML=0\r\n");
    dovecot->injectMessage("list", post());
    const std::string out = pass();
    EXPECT_NE(out.find("    Processing Attachments...\n      Decoded photo.jpg\n    Submission request from "
                       "ann@example.org\n"),
              std::string::npos)
        << out;
    const std::string mail = received();
    EXPECT_NE(mail.find("Content-Type: multipart/mixed"), std::string::npos) << mail;
    EXPECT_EQ(attachment(mail, "photo.jpg"), kPhoto);
    // The HTML part was inline text: it reaches the members as the sender wrote it.
    EXPECT_NE(mail.find("Pictures from the trip.\r\n.Ann\r\n<html>\r\n<body><b>Greetings</b></body>\r\n</html>\r\n"),
              std::string::npos)
        << mail;
    // Archived with its attachment folder, as a distributed post is.
    EXPECT_EQ(spool(), "MSG dir(photo.jpg)");
}

TEST_F(StripFlow, ApprovalRequestCarriesTheAttachments) {
    start(3, "AdminSubmit=1\r\n", "StripAttachments=0\r\nStripHTML=1\r\n", "_!_boss@example.org\r\nann@example.org\r\n");
    dovecot->injectMessage("list", post());
    const std::string out = pass();
    EXPECT_NE(out.find("    Admin notified to approve submission from ann@example.org\n"), std::string::npos) << out;
    const auto mail = sink->messages();
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0].rcptTos, std::vector<std::string>{"boss@example.org"});
    EXPECT_NE(mail[0].data.find("Subject: SUBMIT || ann@example.org || holiday\r\n"), std::string::npos);
    EXPECT_NE(mail[0].data.find("Pictures from the trip.\r\n.Ann\r\n-=> HTML removed by KOVA Ringpost <=-\r\n"),
              std::string::npos)
        << mail[0].data;
    EXPECT_EQ(attachment(mail[0].data, "photo.jpg"), kPhoto);
    EXPECT_EQ(spool(), "");
}
