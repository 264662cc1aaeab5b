#include "MailSending.h"

#include "smtp/KOVASMTP.h"

namespace {
constexpr int kAdministratorAttempts = 5;

const char* orNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }
}  // namespace

int32_t SendWithRetry(const std::string& server, const std::string& from, const std::string& to,
                      const std::string& replyTo, const std::string& subject, const std::string& body,
                      const std::string& attachments, int attempts, const std::string& headers) {
    if (attempts < 1 || attempts > 10) attempts = 1;
    int32_t result = 0;
    for (int i = 0; i < attempts; ++i) {
        result = KOVASMTP_SendEMailWithHeaders(orNull(server), orNull(from), orNull(to), orNull(replyTo),
                                               orNull(subject), orNull(body), static_cast<int32_t>(body.size()),
                                               orNull(attachments), orNull(headers), nullptr, 0);
        if (result == 0) break;
    }
    return result;
}

int32_t SendToAdministrators(const MailList& list, const std::string& subject, const std::string& body,
                             const std::string& attachments, bool stopOnFailure, const std::string& headers) {
    int32_t result = 0;
    for (const Member& m : list.members.entries()) {
        if (m.address.empty() || !m.isAdministrator) continue;
        result = SendWithRetry(list.smtpServer, list.fromAddress, m.address, list.replyToAddress, subject, body,
                               attachments, kAdministratorAttempts, headers);
        if (result != 0 && stopOnFailure) break;
    }
    return result;
}
