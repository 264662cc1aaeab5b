#include "Submission.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "AddressRules.h"
#include "ListHeaders.h"
#include "DistributionProgress.h"
#include "MailSending.h"
#include "MainLoop.h"
#include "Membership.h"
#include "SpoolCleanup.h"
#include "ListTextFiles.h"
#include "SpoolReading.h"
#include "text/Printable.h"
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

constexpr int64_t kSecondsPerDay = 86400;

// Tells the administrators, once, which members a post never reached.
void reportGivingUp(const MailList& list, const std::string& subject, const std::vector<std::string>& missed) {
    std::string body = "The post \"" + subject + "\" could not be delivered to these members within " +
                       std::to_string(std::max<int32_t>(list.keep, 1)) + " day(s):\r\n";
    for (const auto& a : missed) body += a + "\r\n";
    const int32_t result = SendToAdministrators(list, "Undelivered: " + subject, body, {}, false);
    if (result != 0) std::printf("    SEND FAILURE: %ld\n", static_cast<long>(result));
}

// Sends the post to every member it has not reached yet. False when some
// members still wait for it (their server was down, a transient failure, a
// stop request): the spool file then stays for a later pass.
bool distribute(const MailList& list, const IncomingMessage& message, const std::string& sender,
                const std::string& excluded) {
    const std::string subject = DistributionSubject(list.submitCommand, sender, message.Subject);
    std::string body;
    AppendTextFile(list, list.prependFile, body);
    body += message.Body;
    AppendTextFile(list, list.postpendFile, body);

    DistributionProgress progress(message.FilePath);
    progress.Begin();
    // The folder does not change while the post goes out: listed once, not
    // once per member.
    const std::string attachments = list.stripAttachments ? std::string() : ListAttachments(list, message.FilePath);
    const std::string headers = DistributionHeaders(list, message);
    std::vector<std::string> waiting;
    PostSession session(list);
    bool serverDown = ServerDownThisPass(list.smtpServer);
    for (const Member& m : list.members.entries()) {
        if (list.adminSubmit && m.isAdministrator && !text::equalsIgnoreCase(m.address, excluded)) continue;
        if (progress.Done(m.address)) continue;
        // Once the server took no connection or greeting in this pass, the
        // others wait for the next pass instead of each costing the full
        // time limit; so do they all after a stop request.
        if (serverDown || StopRequested()) {
            waiting.push_back(m.address);
            continue;
        }
        std::printf("      Sending to: %s...", text::printable(m.address).c_str());
        std::fflush(stdout);
        const DeliveryResult r = SendToMember(list, session, m.address, subject, body, attachments, headers);
        if (r.kind == Delivery::Delivered) {
            std::printf("Success\n");
        } else {
            std::printf("FAILURE: %ld\n", static_cast<long>(r.code));
        }
        if (r.kind == Delivery::Delivered || r.kind == Delivery::Refused) {
            progress.MarkDone(m.address);
        } else {
            waiting.push_back(m.address);
            serverDown = serverDown || r.kind == Delivery::ServerDown;
        }
    }
    if (waiting.empty()) {
        progress.Finish();
        return true;
    }
    if (progress.AgeSeconds() >= std::max<int32_t>(list.keep, 1) * kSecondsPerDay) {
        std::printf("    Giving up on %zu member(s) after %ld day(s)\n", waiting.size(),
                    static_cast<long>(std::max<int32_t>(list.keep, 1)));
        reportGivingUp(list, subject, waiting);
        progress.Finish();
        return true;
    }
    std::printf("    %zu member(s) wait for a later pass\n", waiting.size());
    return false;
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
        if (fate) *fate = MessageFate::Delete;
        const int32_t result =
            SendToAdministrators(list, subject, message.Body, attachments, false, ReplyHeaders(list, message));
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
    if (!distribute(list, message, sender, excluded) && fate) *fate = MessageFate::LeavePending;
}
