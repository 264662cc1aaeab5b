#include "Submission.h"

#include <algorithm>
#include <cstdio>

#include "AddressRules.h"
#include "ListHeaders.h"
#include "MailSending.h"
#include "Membership.h"
#include "SpoolCleanup.h"
#include "SpoolReading.h"
#include "transport/TextRules.h"

namespace {
constexpr int kDistributionAttempts = 5;
constexpr char kSeparator[] = "||";

// Everything from `pos` on, clamped so a short text gives "" instead of
// running past its end.
std::string from(const std::string& s, size_t pos) { return s.substr(std::min(pos, s.size())); }

void stripPrefixes(std::string& sender) {
    while (text::startsWithIgnoreCase(sender, "RE:")) sender = text::trim(from(sender, 3));
    while (text::startsWithIgnoreCase(sender, "FWD:")) sender = text::trim(from(sender, 4));
}

void distribute(const MailList& list, const IncomingMessage& message, const std::string& sender,
                const std::string& excluded) {
    const std::string subject = DistributionSubject(list.submitCommand, sender, message.Subject);
    std::string body;
    AppendTextFile(list.prependFile, body);
    body += message.Body;
    AppendTextFile(list.postpendFile, body);

    // The folder does not change while the post goes out: listed once, not
    // once per member.
    const std::string attachments = list.stripAttachments ? std::string() : ListAttachments(list, message.FilePath);
    const std::string headers = DistributionHeaders(list, message);
    for (const Member& m : list.members.entries()) {
        if (list.adminSubmit && m.isAdministrator && !text::equalsIgnoreCase(m.address, excluded)) continue;
        std::printf("      Sending to: %s...", m.address.c_str());
        std::fflush(stdout);
        const int32_t result = SendWithRetry(list.smtpServer, list.fromAddress, m.address, list.replyToAddress,
                                             subject, body, attachments, kDistributionAttempts, headers);
        if (result != 0)
            std::printf("FAILURE: %ld\n", static_cast<long>(result));
        else
            std::printf("Success\n");
    }
}
}  // namespace

std::string ApprovalSubject(const std::string& submitCommand, const std::string& sender,
                            const std::string& subjectAfterCommand) {
    if (submitCommand.empty()) return text::trim(sender + " || " + subjectAfterCommand);
    return text::trim(submitCommand + " || " + sender + " || " + subjectAfterCommand);
}

bool ParseApprovalReply(const std::string& submitCommand, const std::string& subject, std::string& submitter,
                        std::string& submittedSubject) {
    std::string s = text::trim(subject);
    submitter.clear();
    submittedSubject.clear();
    bool named = false;
    if (!submitCommand.empty()) {
        const size_t pos = text::toUpper(s).find(submitCommand);
        if (pos == std::string::npos) return false;
        s = text::trim(from(s, pos + submitCommand.size() + 1));
        if (s.find(kSeparator) == std::string::npos) {
            submitter = s;
            named = true;
        } else {
            s = text::trim(from(s, s.find(kSeparator) + 3));
        }
    }
    if (!named) {
        const size_t bars = s.find(kSeparator);
        if (bars == std::string::npos) {
            submitter = s;
        } else {
            submitter = text::trim(s.substr(0, bars));
            submittedSubject = text::trim(from(s, bars + 2));
        }
    }
    stripPrefixes(submitter);
    return true;
}

std::string DistributionSubject(const std::string& submitCommand, const std::string& sender,
                                const std::string& subject) {
    std::string line = "Submission from " + sender;
    std::string rest = subject;
    if (!submitCommand.empty()) {
        const size_t pos = text::toUpper(rest).find(submitCommand);
        if (pos != std::string::npos) rest = text::trim(from(rest, pos + submitCommand.size()));
    }
    if (!rest.empty()) line += " - " + rest;
    return line;
}

void HandleSubmission(MailList& list, IncomingMessage& message, int* retain) {
    if (retain) *retain = 1;
    std::string sender = ExtractAddress(message.FromHeader);
    std::printf("    Submission request from %s\n", sender.c_str());
    if (!IsMember(list, sender)) {
        std::printf("    FAILURE. %s is not a member.\n", sender.c_str());
        return;
    }

    std::string excluded;
    if (list.adminSubmit && !IsAdministrator(list, sender)) {
        std::string rest = message.Subject;
        if (!list.submitCommand.empty()) {
            const size_t pos = text::toUpper(rest).find(list.submitCommand);
            if (pos == std::string::npos) {
                std::printf("    FAILURE. Can't find %s command.\n", list.submitCommand.c_str());
                return;
            }
            rest = text::trim(from(rest, pos + list.submitCommand.size()));
        }
        const std::string subject = ApprovalSubject(list.submitCommand, sender, rest);
        const std::string attachments =
            list.stripAttachments ? std::string() : ListAttachments(list, message.FilePath);
        if (retain) *retain = 0;
        const int32_t result =
            SendToAdministrators(list, subject, message.Body, attachments, false, ReplyHeaders(list, message));
        if (result != 0) {
            std::printf("    SEND FAILURE: %ld\n", static_cast<long>(result));
            if (retain) *retain = kRetainSetAside;
        } else {
            std::printf("    Admin notified to approve submission from %s\n", sender.c_str());
        }
        return;
    }

    if (list.adminSubmit) {
        const std::string s = text::trim(message.Subject);
        if (s.find(kSeparator) == std::string::npos) {
            excluded = sender;  // an administrator's own post
        } else {
            std::string submitter, submitted;
            if (!ParseApprovalReply(list.submitCommand, s, submitter, submitted)) {
                std::printf("    FAILURE. Can't find %s command.\n", list.submitCommand.c_str());
                return;
            }
            message.Subject = submitted;
            sender = submitter;
        }
    }
    distribute(list, message, sender, excluded);
}
