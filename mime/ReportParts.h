// The pieces of a message a delivery report is read from: its header block,
// its delivery-status parts, the text a person would read first, and the
// header of the message it returns. Parts inside a returned message are
// never looked into: a report forwarded as an attachment is no report.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mime {

struct ReportField {
    std::string name;
    std::string value;  // unfolded, blanks around trimmed
};

// Reads the field starting at lines[i] with its continuation lines and
// moves i past them. False (i moved past the line) for a line that is no
// field.
bool readField(const std::vector<std::string>& lines, size_t& i, ReportField& field);

// The value of the first field named `name` (case ignored); null when none.
const std::string* findField(const std::vector<ReportField>& fields, std::string_view name);

// The header block starting at lines[from] (blank lines before it skipped).
std::vector<ReportField> headerBlockAt(const std::vector<std::string>& lines, size_t from);

struct ReportParts {
    std::vector<ReportField> headers;
    std::vector<std::vector<std::string>> deliveryStatus;  // transfer encoding undone
    std::vector<std::string> notification;                 // the first text/plain part, decoded
    std::vector<std::string> failedRecipientsHeader;       // X-Failed-Recipients
    std::vector<std::string> quotedTo;                     // To: of a returned message part
    bool deliveryStatusReport = false;                     // multipart/report; report-type=delivery-status

    const std::string* header(std::string_view name) const;
};

ReportParts findReportParts(std::string_view message);

// "<ann@example.org>", "ann@example.org." and the like as "ann@example.org",
// read as the address reader reads mailboxes; "" when the text holds no
// address a member could have.
std::string plainAddress(std::string_view text);

// The addresses of an address-list value (To:, X-Failed-Recipients).
std::vector<std::string> addressesIn(std::string_view value);

// The first "d.d.d" status code in the text with a class of 2, 4 or 5; "".
std::string enhancedStatus(std::string_view text);

// Blanks and control bytes collapsed to single spaces, cut to kMaxReason.
std::string oneLine(std::string_view text);

}  // namespace mime
