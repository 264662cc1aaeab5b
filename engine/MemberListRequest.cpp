#include "MemberListRequest.h"

#include <cstdio>

#include "AddressRules.h"
#include "ListHeaders.h"
#include "MailSending.h"
#include "Membership.h"

namespace {
constexpr int kRefusalAttempts = 3;
constexpr int kListAttempts = 5;
}  // namespace

void HandleMemberListRequest(const MailList& list, const IncomingMessage& message) {
    std::printf("    Member list request...");
    const std::string requester = MailboxAddress(message.FromHeader);
    std::string subject, body;
    int attempts;
    if (!IsAdministrator(list, requester)) {
        std::printf("FAILURE\n");
        subject = "Member List Failure";
        body = "Only an Administrator may request a member list.\r\n";
        attempts = kRefusalAttempts;
    } else {
        std::printf("Success\n");
        subject = list.name + " Member List";
        body = "Member List:\r\n\r\n";
        for (const Member& m : list.members.entries()) {
            body += m.address;
            if (IsAdministrator(list, m.address)) body += "  (Administrator)";
            body += "\r\n";
        }
        attempts = kListAttempts;
    }
    std::fflush(stdout);
    const int32_t result = SendWithRetry(list.smtpServer, list.fromAddress, requester, list.replyToAddress, subject,
                                         body, {}, attempts, ReplyHeaders(list, message));
    if (result != 0) std::printf("    SEND FAILURE: %ld\n", static_cast<long>(result));
}
