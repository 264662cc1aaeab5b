#include "Subscription.h"

#include <cstdio>
#include <functional>

#include "AddressRules.h"
#include "CheckApproval.h"
#include "ListHeaders.h"
#include "MailSending.h"
#include "ListMembers.h"
#include "Membership.h"
#include "ListTextFiles.h"
#include "platform/ErrorText.h"
#include "text/Printable.h"
#include "text/TextRules.h"

namespace {
constexpr int kNoticeAttempts = 5;
constexpr int kUnsubscribeAttempts = 3;

int32_t sendToPerson(const MailList& list, const IncomingMessage& request, const std::string& to,
                     const std::string& subject, const std::string& body, int attempts) {
    const int32_t result = SendWithRetry(list.smtpServer, list.fromAddress, to, list.replyToAddress, subject, body,
                                         {}, attempts, ReplyHeaders(list, request));
    if (result != 0) std::printf("    SEND FAILURE: %ld\n", static_cast<long>(result));
    return result;
}

// A change that did not reach the disk is undone and confirmed to nobody;
// the request stays as ".BAD" for the administrator.
bool changeMembers(MailList& list, const std::function<bool(MemberStore&)>& change, MessageFate* fate, bool& written) {
    uint32_t code = 0;
    if (ChangeMembers(list, change, code, &written)) return true;
    std::printf("    FAILURE. Unable to write the member file: %s\n", platform::systemErrorText(code).c_str());
    if (fate) *fate = MessageFate::SetAside;
    return false;
}

// A sender whose From names no single address: nobody to add, ask the
// administrators about, or answer.
bool senderAddress(const IncomingMessage& message, const char* displayWord, std::string& address) {
    std::string why;
    address = MailboxAddress(message.FromHeader, &why);
    if (!address.empty()) return true;
    std::printf("    %s request\n", displayWord);
    PrintInvalidAddress(message.FromHeader, why);
    return false;
}
}  // namespace

void HandleSubscribe(MailList& list, const IncomingMessage& message, MessageFate* fate) {
    RefreshMembers(list);
    std::string target;
    if (!senderAddress(message, "Subscribe", target)) return;
    const ApprovalRequest request{list.subscribeCommand, "Subscribe", "subscribe", list.adminSubscribe, false};
    if (!CheckApproval(list, message, target, message.FromHeader, request, fate)) return;
    // An administrator may name the address with its display name or in
    // angle brackets: only the address itself is ever stored or mailed.
    const std::string named = target;
    std::string why;
    target = MailboxAddress(named, &why);

    const std::string failureSubject = list.subscribeCommand + " FAILURE";
    const auto alreadyMember = [&] {
        std::printf("    FAILURE. %s is already a member of the list.\n", target.c_str());
        sendToPerson(list, message, target, failureSubject,
                     "You are already a member of the " + list.name +
                         " ringpost.\r\n\r\nThere is no need to resubscribe.",
                     kNoticeAttempts);
    };
    if (IsMember(list, target)) {
        alreadyMember();
        return;
    }

    if (!IsValidAddress(list, target)) {
        PrintInvalidAddress(target.empty() ? named : target, why);
        // Only someone who named another address hears of it: a person whose
        // own address is invalid cannot be answered.
        const std::string sender = MailboxAddress(message.FromHeader);
        if (text::toUpper(sender).find(text::toUpper(named)) == std::string::npos && IsValidAddress(list, sender))
            sendToPerson(list, message, sender, failureSubject, named + " is not a valid E-Mail address.\r\n",
                         kNoticeAttempts);
        return;
    }

    bool written = false;
    const auto add = [&target](MemberStore& store) {
        // Someone may have added the address by hand meanwhile.
        for (const Member& m : store.entries())
            if (!m.address.empty() && text::equalsIgnoreCase(m.address, target)) return false;
        store.append(target, false);
        return true;
    };
    if (!changeMembers(list, add, fate, written)) return;
    if (!written) {
        alreadyMember();
        return;
    }

    std::string body;
    AppendTextFile(list, list.welcomeFile, body);
    if (body.empty())
        body = "Your subscription request has been approved. You will start to\r\nreceive messages from the " +
               list.name + " ringpost.";
    if (sendToPerson(list, message, target, list.subscribeCommand + " approved", body, kNoticeAttempts) == 0)
        std::printf("    Subscribe successful.\n");
}

void HandleUnsubscribe(MailList& list, const IncomingMessage& message, MessageFate* fate) {
    RefreshMembers(list);
    std::string target;
    if (!senderAddress(message, "Unsubscribe", target)) return;
    const ApprovalRequest request{list.unsubscribeCommand, "Unsubscribe", "unsubscribe", list.adminUnsubscribe,
                                  true};
    if (!CheckApproval(list, message, target, message.FromHeader, request, fate)) return;
    const std::string named = target;
    target = MailboxAddress(named);

    // Every copy goes: a duplicate left behind would keep receiving posts
    // after the person was told they were removed.
    const auto removeAll = [&target](MemberStore& store) {
        bool removed = false;
        for (int32_t i = store.count() - 1; i >= 0; --i) {
            const std::string& address = store.entries()[static_cast<size_t>(i)].address;
            if (address.empty() || !text::equalsIgnoreCase(address, target)) continue;
            store.remove(i);
            removed = true;
        }
        return removed;
    };
    bool written = false;
    if (!changeMembers(list, removeAll, fate, written)) return;
    if (!written) {
        std::printf("    FAILURE. Can't find %s in member list.\n", text::printable(named).c_str());
        return;
    }

    if (sendToPerson(list, message, target, list.unsubscribeCommand + " approved",
                     "Your unsubscription request has been approved. You will no longer\r\nreceive messages from the " +
                         list.name + " ringpost.",
                     kUnsubscribeAttempts) == 0)
        std::printf("    Unsubscribe successful.\n");
}
