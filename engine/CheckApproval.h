// The shared front half of subscribe and unsubscribe: carry the request out
// now, forward it to the administrators, or refuse it.
#pragma once

#include <string>

#include "IncomingMessage.h"
#include "MailList.h"
#include "MessageFate.h"

struct ApprovalRequest {
    std::string command;      // the list's Subscribe or Unsubscribe command
    const char* displayWord;  // "Subscribe" / "Unsubscribe"
    const char* verb;         // "subscribe" / "unsubscribe"
    bool needsApproval;       // AdminSubscribe / AdminUnsubscribe
    bool unsubscribe;
};

// `target` is the sender's address on entry; an administrator may replace it
// by the address named after the command in the subject (or by the text as
// written, when it names no single address). True when the
// handler is to act on `target`; false when all was done already. `fate`
// (may be null) becomes Keep, and Delete again whenever the administrators
// are mailed.
bool CheckApproval(const MailList& list, const IncomingMessage& message, std::string& target,
                   const std::string& fromText, const ApprovalRequest& request, MessageFate* fate);

// The address an administrator names after `command` in `subject`: the text
// from one character after the command, spaces trimmed. False when the
// subject lacks the command.
bool NamedAddressAfterCommand(const std::string& subject, const std::string& command, std::string& named);
