// Delivery reports in a server's own words: the phrases that say a sender
// gave up or is still trying, and the recipients such a text lists.
#pragma once

#include <string>
#include <vector>

#include "DeliveryReport.h"
#include "ReportParts.h"

namespace mime {

enum class Verdict { None, Failed, Delayed };

struct TextReport {
    Verdict verdict = Verdict::None;
    std::vector<FailedRecipient> recipients;  // listed in the text
    std::vector<std::string> quotedTo;        // To: of the message returned below the text
    std::string reason;                       // the text's own account, for a report that lists nobody
};

// Reads the notification text of a message that has no delivery-status
// part. A text that is none of the known reports, and no header says is
// one, gives Verdict::None.
TextReport readTextReport(const ReportParts& parts);

}  // namespace mime
