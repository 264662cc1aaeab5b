// Delivery reports ("bounces"): which recipients a report says could not be
// reached, and whether the sender gave up on them or is still trying.
//
// Read are RFC 3464 delivery-status parts (also RFC 6533's global form, with
// or without a multipart/report around them), and the plain-text reports
// the common mail servers and providers still send: Postfix, Sendmail,
// Exim, qmail and the servers that write like it (Yahoo), Microsoft
// Exchange and Office 365, Gmail. A report that names nobody in a form
// known here but quotes the message it returns is read by that message's
// To: line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mime {

struct FailedRecipient {
    // The recipient as the message was sent to it (a DSN's Original-Recipient
    // when it has one), and the address it ended at when that differs
    // (forwarding, aliases); either may be what the sender knows.
    std::string address;
    std::string finalAddress;
    // The sender gave up ("failed", or a final text report); false while
    // delivery is only delayed or the report is a warning.
    bool permanent = false;
    std::string status;  // "5.1.1", or an SMTP reply code ("550"), or ""
    std::string reason;  // one line of plain text, at most kMaxReason bytes
};

enum class ReportForm {
    None,            // not a delivery report
    DeliveryStatus,  // a delivery-status part
    Text,            // a server's own wording
    QuotedOriginal,  // only the returned message's To: names the recipients
};

struct DeliveryReport {
    ReportForm form = ReportForm::None;
    // Each address once, in the order the report names them.
    std::vector<FailedRecipient> recipients;
    bool isReport() const { return form != ReportForm::None; }
};

inline constexpr size_t kMaxReason = 200;

// Reads a whole message as it lies in the spool (CR LF or LF lines; a final
// "." line and dot-stuffing as POP3 delivers them are undone). Never throws
// for any input.
DeliveryReport readDeliveryReport(std::string_view message);

}  // namespace mime
