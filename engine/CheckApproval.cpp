#include "CheckApproval.h"

#include <algorithm>
#include <cstdio>

#include "AddressRules.h"
#include "ListHeaders.h"
#include "MailSending.h"
#include "Membership.h"
#include "text/Printable.h"
#include "text/TextRules.h"

namespace {

void notifyAdministrators(const MailList& list, const IncomingMessage& request, const std::string& subject,
                          const std::string& body, MessageFate* fate, int32_t* result = nullptr) {
    if (fate) *fate = MessageFate::Delete;
    const int32_t sent = SendToAdministrators(list, subject, body, {}, false, ReplyHeaders(list, request));
    if (sent != 0) std::printf("    SEND FAILURE: %ld\n", static_cast<long>(sent));
    if (result) *result = sent;
}

std::string commandFailureSubject(const std::string& command) { return command + " command failure."; }

}  // namespace

bool NamedAddressAfterCommand(const std::string& subject, const std::string& command, std::string& named) {
    named.clear();
    const size_t pos = text::toUpper(subject).find(command);
    if (pos == std::string::npos) return false;
    // The character right after the command (normally a space) is skipped;
    // a subject that ends with the command names nobody.
    const size_t start = std::min(subject.size(), pos + command.size() + 1);
    named = text::trim(std::string_view(subject).substr(start));
    return true;
}

bool CheckApproval(const MailList& list, const IncomingMessage& message, std::string& target,
                   const std::string& fromText, const ApprovalRequest& request, MessageFate* fate) {
    if (fate) *fate = MessageFate::Keep;
    std::printf("    %s request\n", request.displayWord);
    const std::string& command = request.command;
    const std::string& subject = message.Subject;

    if (!IsMember(list, target) && request.unsubscribe && !IsAdministrator(list, target)) {
        std::printf("    FAILURE. %s is not a member.\n", text::printable(target).c_str());
        return false;
    }
    if (IsMember(list, target) && !request.unsubscribe && !IsAdministrator(list, target)) {
        std::printf("    FAILURE. %s is already a member.\n", text::printable(target).c_str());
        return false;
    }

    if (request.needsApproval && !IsAdministrator(list, target)) {
        const std::string body = std::string("In order to allow ") + fromText + " to " + request.verb +
                                 " to the\r\n" + list.name + " list, you must reply to this E-Mail.\r\n\r\n" +
                                 "Click the \"Reply\" button and then click the \"Send\" button.\r\n\r\n" +
                                 "If you do not wish " + fromText + " to " + request.verb + " to the " + list.name +
                                 " list,\r\nthen simply delete and ignore this message.\r\n";
        int32_t result = 0;
        notifyAdministrators(list, message, command + " " + target, body, fate, &result);
        if (result == 0)
            std::printf("    Admin notified to %s %s\n", request.verb, text::printable(target).c_str());
        else if (fate)
            *fate = MessageFate::SetAside;  // nobody was asked: keep the request rather than lose it
        return false;
    }

    if (IsAdministrator(list, target)) {
        std::string named;
        if (!NamedAddressAfterCommand(subject, command, named)) {
            std::printf("    FAILURE. %s can not be found in %s.\n", command.c_str(), text::printable(subject).c_str());
            notifyAdministrators(list, message, commandFailureSubject(command),
                                 "Unable to parse subject line. (Couldn't find " + command +
                                     " in the subject line).\r\n" + subject,
                                 fate);
            return false;
        }
        if (!named.empty() && !IsMember(list, named) && request.unsubscribe) {
            std::printf("    FAILURE. %s is not a member.\n", text::printable(subject).c_str());
            notifyAdministrators(list, message, commandFailureSubject(command),
                                 "Unable to parse subject line. (" + named + " isn't a member of this list).\r\n" +
                                     subject,
                                 fate);
            return false;
        }
        if (!named.empty() && IsMember(list, named) && !request.unsubscribe) {
            std::printf("    FAILURE. %s is already a member.\n", text::printable(subject).c_str());
            notifyAdministrators(list, message, commandFailureSubject(command),
                                 "Unable to parse subject line. (" + named +
                                     " is already a member of this list).\r\n" + subject,
                                 fate);
            return false;
        }
        // The address alone when the text names one; else the text as
        // written, for the handler to refuse.
        if (!named.empty()) {
            target = MailboxAddress(named);
            if (target.empty()) target = named;
        }
    }

    if (IsAdministrator(list, target) && list.submitCommand != command) {
        notifyAdministrators(list, message, commandFailureSubject(command),
                             std::string("You can not ") + request.verb + " yourself; you are an Administrator.\r\n",
                             fate);
        std::printf("    FAILURE. %s is an Admin.\n", text::printable(target).c_str());
        return false;
    }
    return true;
}
