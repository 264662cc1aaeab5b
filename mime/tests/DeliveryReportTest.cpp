// The delivery-report reader over real reports (tests/delivery-reports, see
// SOURCES.md there) and over the shapes that make it go wrong: reports a
// person forwards, verdicts that contradict their status class, recipients
// named twice.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "mime/DeliveryReport.h"

using mime::ReportForm;

namespace {

struct Expected {
    std::string address;
    bool permanent;
    std::string status;
};

std::string describe(const mime::DeliveryReport& r) {
    std::string out = "form " + std::to_string(static_cast<int>(r.form)) + ":";
    for (const auto& f : r.recipients)
        out += " [" + f.address + (f.finalAddress.empty() ? "" : " -> " + f.finalAddress) +
               (f.permanent ? " permanent " : " transient ") + f.status + " | " + f.reason + "]";
    return out;
}

void expectReport(const std::string& name, const std::string& message, ReportForm form,
                  const std::vector<Expected>& expected) {
    SCOPED_TRACE(name);
    const mime::DeliveryReport r = mime::readDeliveryReport(message);
    EXPECT_EQ(r.form, form) << describe(r);
    ASSERT_EQ(r.recipients.size(), expected.size()) << describe(r);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(r.recipients[i].address, expected[i].address);
        EXPECT_EQ(r.recipients[i].permanent, expected[i].permanent) << r.recipients[i].address;
        EXPECT_EQ(r.recipients[i].status, expected[i].status) << r.recipients[i].address;
    }
}

std::string corpusFile(const std::string& name) {
    std::ifstream f(std::string(RINGPOST_SOURCE_DIR) + "mime/tests/delivery-reports/" + name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

TEST(DeliveryReport, RealReports) {
    struct Case {
        const char* file;
        ReportForm form;
        std::vector<Expected> recipients;
    };
    const Case cases[] = {
        {"sisimai-postfix-02.eml", ReportForm::DeliveryStatus,
         {{"filtered@example.co.jp", true, "5.2.1"}, {"userunknown@example.co.jp", true, "5.1.1"}}},
        {"sisimai-sendmail-01.eml", ReportForm::DeliveryStatus, {{"userunknown@bouncehammer.jp", true, "5.1.1"}}},
        {"sisimai-outlook-01.eml", ReportForm::DeliveryStatus, {{"kijitora@example.jp", true, "5.2.2"}}},
        {"python-msg_16.eml", ReportForm::DeliveryStatus, {{"jangel1@cougar.noc.ucla.edu", true, "5.0.0"}}},
        {"postfix-loopback-refused.eml", ReportForm::DeliveryStatus, {{"ann@refused.example.net", true, "5.0.0"}}},
        {"postfix-loopback-deferred.eml", ReportForm::DeliveryStatus, {{"bob@later.example.net", false, "4.2.2"}}},
        {"sisimai-qmail-01.eml", ReportForm::Text, {{"kijitora@example.ne.jp", true, "5.5.0"}}},
        {"sisimai-exim-02.eml", ReportForm::Text,
         {{"kijitora@example.jp", true, "5.1.1"}, {"sabatora@example.jp", true, "5.2.1"}}},
        {"sisimai-exim-38.eml", ReportForm::Text, {{"kijitora@example.co.jp", false, "450"}}},
        // The recipient that failed, not the To: the sender wrote.
        {"sisimai-exchange2003-03.eml", ReportForm::Text, {{"kijitora@example.jp", true, ""}}},
        {"sisimai-google-03.eml", ReportForm::Text, {{"kijitora@example.co.jp", true, "5.7.0"}}},
    };
    for (const Case& c : cases) {
        const std::string message = corpusFile(c.file);
        ASSERT_FALSE(message.empty()) << c.file;
        expectReport(c.file, message, c.form, c.recipients);
        // As the mailbox hands it over: CR LF lines, dot-stuffed, ended by ".".
        std::string spooled;
        std::istringstream lines(message);
        for (std::string line; std::getline(lines, line);)
            spooled += (line.starts_with(".") ? "." : "") + line + "\r\n";
        expectReport(std::string(c.file) + " as spooled", spooled + ".\r\n", c.form, c.recipients);
    }
}

TEST(DeliveryReport, ShapesAndVerdicts) {
    const std::string daemon = "From: Mail Delivery System <MAILER-DAEMON@mx.example.net>\r\nTo: list@example.org\r\n";
    const std::string dsnHead = daemon +
                                "Subject: Undelivered Mail Returned to Sender\r\nMIME-Version: 1.0\r\n"
                                "Content-Type: multipart/report; report-type=delivery-status; boundary=\"b\"\r\n\r\n"
                                "--b\r\nContent-Type: text/plain\r\n\r\nSee below.\r\n\r\n"
                                "--b\r\nContent-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; mx\r\n\r\n";
    const auto dsn = [&](const std::string& groups) { return dsnHead + groups + "\r\n--b--\r\n"; };
    struct Case {
        const char* name;
        std::string message;
        ReportForm form;
        std::vector<Expected> recipients;
    };
    const Case cases[] = {
        {"failed is final whatever the class",
         dsn("Final-Recipient: rfc822; ann@example.org\r\nAction: failed\r\nStatus: 4.4.7\r\n"),
         ReportForm::DeliveryStatus, {{"ann@example.org", true, "4.4.7"}}},
        {"4.x.x without failed is transient",
         dsn("Final-Recipient: rfc822; ann@example.org\r\nStatus: 4.2.2\r\n"), ReportForm::DeliveryStatus,
         {{"ann@example.org", false, "4.2.2"}}},
        {"delayed is transient whatever the class",
         dsn("Final-Recipient: rfc822; ann@example.org\r\nAction: delayed\r\nStatus: 5.0.0\r\n"),
         ReportForm::DeliveryStatus, {{"ann@example.org", false, "5.0.0"}}},
        {"delivered names no failure",
         dsn("Final-Recipient: rfc822; ann@example.org\r\nAction: delivered\r\nStatus: 2.0.0\r\n"),
         ReportForm::DeliveryStatus, {}},
        {"one address named three times counts once, as the sender gave up",
         dsn("Final-Recipient: rfc822; ann@example.org\r\nAction: delayed\r\nStatus: 4.2.2\r\n\r\n"
             "Final-Recipient: rfc822; ANN@example.org\r\nAction: failed\r\nStatus: 5.2.2\r\n"
             "Final-Recipient: rfc822; ann@example.org\r\nAction: failed\r\nStatus: 5.1.1\r\n"),
         ReportForm::DeliveryStatus, {{"ANN@example.org", true, "5.2.2"}}},
        {"forwarding: the address the message was sent to",
         dsn("Original-Recipient: rfc822; ann@example.org\r\nFinal-Recipient: rfc822; ann@other.example.net\r\n"
             "Action: failed\r\nStatus: 5.1.1\r\n"),
         ReportForm::DeliveryStatus, {{"ann@example.org", true, "5.1.1"}}},
        {"addresses read as RFC 5322 writes them, and only one a member could have",
         dsn("Final-Recipient: rfc822; ann@example.org (Ann Example)\r\nAction: failed\r\nStatus: 5.1.1\r\n\r\n"
             "Final-Recipient: rfc822; <@relay.example.net:bob@example.org>\r\nAction: failed\r\n\r\n"
             "Final-Recipient: rfc822; \"o'cat\"@example.org\r\nAction: failed\r\n\r\n"
             "Final-Recipient: rfc822; " + std::string(65, 'd') + "@example.org\r\nAction: failed\r\n\r\n"
             "Final-Recipient: rfc822; eve@example..org\r\nAction: failed\r\n"),
         ReportForm::DeliveryStatus,
         {{"ann@example.org", true, "5.1.1"}, {"bob@example.org", true, ""}, {"o'cat@example.org", true, ""}}},
        {"a delivery-status part of base64",
         daemon + "Subject: x\r\nContent-Type: multipart/mixed; boundary=q\r\n\r\n--q\r\n"
                  "Content-Type: message/delivery-status\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                  "RmluYWwtUmVjaXBpZW50OiByZmM4MjI7IGFubkBleGFtcGxlLm9yZw0KQWN0aW9uOiBmYWlsZWQNCg==\r\n--q--\r\n",
         ReportForm::DeliveryStatus, {{"ann@example.org", true, ""}}},
        {"the recipient inside the sentence",
         "From: Mail Delivery Subsystem <mailer-daemon@googlemail.com>\r\nSubject: Delivery Status Notification "
         "(Failure)\r\n\r\n** Address not found **\r\n\r\nYour message wasn't delivered to ann@example.org because "
         "the address couldn't be found.\r\n",
         ReportForm::Text, {{"ann@example.org", true, ""}}},
        {"Yahoo's wording",
         "From: MAILER-DAEMON@yahoo.com\r\nSubject: Failure Notice\r\n\r\nSorry, we were unable to deliver your "
         "message to the following address.\r\n\r\n<ann@example.org>:\r\nRemote host said: 552 4.2.2 Mailbox full "
         "[RCPT_TO]\r\n\r\n--- Below this line is a copy of the message.\r\n\r\nTo: bob@example.org\r\n\r\nhi\r\n",
         ReportForm::Text, {{"ann@example.org", true, "4.2.2"}}},
        {"Postfix text: the address before the alias",
         daemon + "Subject: Undelivered Mail Returned to Sender\r\n\r\nI'm sorry to have to inform you that your "
                  "message could not\r\nbe delivered to one or more recipients.\r\n\r\n<ann@box.example.net> "
                  "(expanded from <ann@example.org>): user unknown\r\n",
         ReportForm::Text, {{"ann@example.org", true, ""}}},
        {"only the returned message names the recipient",
         daemon + "Subject: Undeliverable: Tea\r\n\r\nSomething went wrong.\r\n\r\n----- Original message -----\r\n"
                  "To: Ann Example <ann@example.org>\r\nSubject: Tea\r\n\r\nhi\r\n",
         ReportForm::QuotedOriginal, {{"ann@example.org", true, ""}}},
        {"a report in no known wording, from the mail system: not enough to count",
         daemon + "Subject: Delivery delayed\r\n\r\nStill trying.\r\n\r\n----- Original message -----\r\n"
                  "To: ann@example.org\r\n\r\nhi\r\n",
         ReportForm::QuotedOriginal, {{"ann@example.org", false, ""}}},
        {"a person forwarding a report is no report",
         "From: Ann <ann@example.org>\r\nSubject: Fwd: Undelivered Mail Returned to Sender\r\n\r\nLook at this.\r\n"
         "\r\n---------- Forwarded message ---------\r\nFrom: MAILER-DAEMON@mx.example.net\r\n\r\nI'm sorry to "
         "have to inform you that your message could not\r\nbe delivered to one or more recipients.\r\n\r\n"
         "<bob@example.org>: user unknown\r\n",
         ReportForm::None, {}},
        {"a report attached to a person's post is no report",
         "From: Ann <ann@example.org>\r\nSubject: SUBMIT bounces\r\nContent-Type: multipart/mixed; boundary=m\r\n\r\n"
         "--m\r\nContent-Type: text/plain\r\n\r\nWhat is this?\r\n--m\r\nContent-Type: message/rfc822\r\n\r\n" +
             dsn("Final-Recipient: rfc822; bob@example.org\r\nAction: failed\r\n") + "--m--\r\n",
         ReportForm::None, {}},
        {"a person's mail", "From: Ann <ann@example.org>\r\nSubject: subscribe\r\n\r\nbob@example.org\r\n",
         ReportForm::None, {}},
        {"a person's post in a report's words",
         "From: Ann <ann@example.org>\r\nSubject: SUBMIT Storm\r\n\r\nThis is a warning: the ferry has been "
         "delayed and could not be delivered to one or more\r\nislands.\r\n\r\nbob@example.org\r\n",
         ReportForm::None, {}},
        {"a report forwarded by a mailbox rule, its header a person's",
         "From: Ann <ann@example.org>\r\nSubject: Fwd\r\n\r\nThis message was created automatically by mail "
         "delivery software.\r\n\r\nA message that you sent has not yet been delivered to one or more of its\r\n"
         "recipients.\r\n\r\n  bob@example.org\r\n    Delay reason: 451 4.3.0 try later\r\n",
         ReportForm::Text, {{"bob@example.org", false, "4.3.0"}}},
    };
    for (const Case& c : cases) expectReport(c.name, c.message, c.form, c.recipients);
}
