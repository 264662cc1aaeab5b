#include "Submission.h"

#include <algorithm>
#include <cstdio>

#include "AddressRules.h"
#include "AdminProof.h"
#include "Distribution.h"
#include "ListHeaders.h"
#include "MailSending.h"
#include "Membership.h"
#include "SpoolCleanup.h"
#include "text/TextRules.h"

namespace {
constexpr char kSeparator[] = "||";

// Everything from `pos` on, clamped so a short text gives "" instead of
// running past its end.
std::string from(const std::string& s, size_t pos) { return s.substr(std::min(pos, s.size())); }

void stripPrefixes(std::string& sender) {
    while (text::startsWithIgnoreCase(sender, "RE:")) sender = text::trim(from(sender, 3));
    while (text::startsWithIgnoreCase(sender, "FWD:")) sender = text::trim(from(sender, 4));
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

void HandleSubmission(MailList& list, IncomingMessage& message, MessageFate* fate) {
    if (fate) *fate = MessageFate::Keep;
    std::string sender = MailboxAddress(message.FromHeader);
    std::printf("    Submission request from %s\n", sender.c_str());
    if (!IsMember(list, sender)) {
        std::printf("    FAILURE. %s is not a member.\n", sender.c_str());
        return;
    }

    std::string excluded;
    if (list.adminSubmit && !SenderIsAdministrator(list, message)) {
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
        if (fate) *fate = MessageFate::Delete;
        const int32_t result =
            SendToAdministrators(list, subject, HowToApprove(list) + message.Body, attachments, false,
                                 ReplyHeaders(list, message));
        if (result != 0) {
            std::printf("    SEND FAILURE: %ld\n", static_cast<long>(result));
            if (fate) *fate = MessageFate::SetAside;
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
            std::string submitter, submitted, why;
            if (!ParseApprovalReply(list.submitCommand, s, submitter, submitted)) {
                std::printf("    FAILURE. Can't find %s command.\n", list.submitCommand.c_str());
                return;
            }
            sender = MailboxAddress(submitter, &why);
            if (sender.empty()) {
                // No post goes out under a sender nobody can name; the reply
                // stays for the administrator to look at.
                PrintInvalidAddress(submitter, why);
                if (fate) *fate = MessageFate::SetAside;
                return;
            }
            message.Subject = submitted;
        }
    }
    if (!DistributePost(list, message, sender, excluded) && fate) *fate = MessageFate::LeavePending;
}
