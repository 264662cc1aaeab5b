#include "Distribution.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_set>
#include <vector>

#include "AdminProof.h"
#include "DistributionProgress.h"
#include "HeldPostNotice.h"
#include "ListHeaders.h"
#include "ListTextFiles.h"
#include "MailSending.h"
#include "MainLoop.h"
#include "RefusalJudgement.h"
#include "SendingLimits.h"
#include "SpoolCleanup.h"
#include "Submission.h"
#include "text/Printable.h"
#include "text/TextRules.h"

namespace {

// Tells the administrators, once, which members a post never reached.
void reportGivingUp(const MailList& list, const std::string& subject, const std::vector<std::string>& missed) {
    std::string body = "The post \"" + subject + "\" could not be delivered to these members within " +
                       std::to_string(KeepDays(list)) + " day(s):\r\n";
    for (const auto& a : missed) body += a + "\r\n";
    const int32_t result = SendToAdministrators(list, "Undelivered: " + subject, body, {}, false);
    if (result != 0) std::printf("    SEND FAILURE: %ld\n", static_cast<long>(result));
}

}  // namespace

bool DistributePost(const MailList& list, const IncomingMessage& message, const std::string& sender,
                    const std::string& excluded) {
    const std::string subject = DistributionSubject(list.submitCommand, sender, message.Subject);
    std::string body;
    AppendTextFile(list, list.prependFile, body);
    body += message.Body;
    AppendTextFile(list, list.postpendFile, body);

    DistributionProgress progress(message.FilePath);
    progress.Begin();
    std::vector<std::string> members;  // not reached yet, each once however often the file lists them
    std::unordered_set<std::string> listed;
    for (const Member& m : list.members.entries()) {
        if (list.adminSubmit && m.isAdministrator && !text::equalsIgnoreCase(m.address, excluded)) continue;
        if (!progress.Done(m.address) && listed.insert(text::toUpper(m.address)).second) members.push_back(m.address);
    }
    // The folder does not change while the post goes out: listed once, not
    // once per member.
    const std::string attachments =
        list.stripAttachments
            ? std::string()
            : AttachmentsWithoutPassword(list, message.FilePath, ListAttachments(list, message.FilePath));
    const std::string headers = DistributionHeaders(list, message);
    bool serverDown = ServerDownThisPass(list.smtpServer);
    PostAllowance allowance(list, serverDown ? 0 : members.size());
    std::vector<std::string> waiting;
    PostSession session(list);
    bool limited = false;
    std::optional<ServerReply> heldBy;
    RefusalRun run;
    for (const std::string& address : members) {
        // Once the server took no connection or greeting in this pass, or
        // held the post, the others wait for the next pass instead of each
        // costing a try; so do they all after a stop request.
        if (serverDown || heldBy || StopRequested()) {
            waiting.push_back(address);
            continue;
        }
        if (!allowance.take()) {
            limited = true;
            waiting.push_back(address);
            continue;
        }
        std::printf("      Sending to: %s...", text::printable(address).c_str());
        std::fflush(stdout);
        const DeliveryResult r = SendToMember(list, session, address, subject, body, attachments, headers);
        if (r.kind == Delivery::Delivered) {
            std::printf("Success\n");
        } else {
            std::printf("FAILURE: %ld\n", static_cast<long>(r.code));
        }
        // Served or refused for themselves: not sent to again.
        std::vector<std::string> done;
        switch (r.kind) {
            case Delivery::Held: heldBy = r.reply; break;
            case Delivery::Refused:
                if (OwnerOfRefusal(r.reply) == RefusalOwner::Unclear) {
                    if (run.add(address, r.reply, done)) heldBy = r.reply;
                    break;
                }
                [[fallthrough]];
            case Delivery::Delivered:
                done = run.settle();
                done.push_back(address);
                break;
            case Delivery::Transient:
                done = run.settle();
                waiting.push_back(address);
                break;
            case Delivery::ServerDown:
                serverDown = true;
                waiting.push_back(address);
                break;
        }
        for (const std::string& a : done) progress.MarkDone(a);
    }
    // A run the walk ended in is judged only when nobody else waits; else
    // its members are tried again with the others.
    if (heldBy || !waiting.empty()) {
        waiting.insert(waiting.end(), run.members().begin(), run.members().end());
    } else {
        for (const std::string& a : run.settle()) progress.MarkDone(a);
    }
    if (heldBy) {
        std::printf("    Held by the SMTP server: %s\n", ReplyLine(*heldBy).c_str());
        NoteHeldPost(list, message.FilePath, subject, *heldBy);
    }
    if (limited) std::printf("    Sending limit of %s reached\n", allowance.reached().c_str());
    SendHeldPostNotice(list);
    if (waiting.empty()) {
        progress.Finish();
        return true;
    }
    // Members the list's own limits hold back are no failure to give up on.
    if (!limited && progress.AgeSeconds() >= KeepDays(list) * kSecondsPerDay) {
        std::printf("    Giving up on %zu member(s) after %ld day(s)\n", waiting.size(),
                    static_cast<long>(KeepDays(list)));
        reportGivingUp(list, subject, waiting);
        progress.Finish();
        return true;
    }
    std::printf("    %zu member(s) wait for a later pass\n", waiting.size());
    return false;
}
