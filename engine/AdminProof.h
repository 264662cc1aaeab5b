// Mail from an administrator's address counts as that administrator's only
// with the proof the list asks for: Authentication-Results from the list's
// own mailbox provider (TrustAuthServId), or the administrators' password
// (AdminPassword); either will do when both are set. Without a proof it is
// handled as a member's. A list that asks for neither trusts From alone.
#pragma once

#include <string>

#include "IncomingMessage.h"
#include "MailHeaders.h"
#include "MailList.h"

// Removes the first non-empty body line when it reads "Approved: ..." (with
// the blank lines around it), whatever password it names, so that not even
// a mistyped one reaches anybody. True when that line, or an "Approved:"
// header, names `password` exactly; false for an empty password.
bool TakeApprovedLine(std::string& body, const MailHeaders& headers, const std::string& password);

// Whether the topmost Authentication-Results header of the trusted provider
// vouches for the domain of the message's From. That From must be the
// header block's one and only From, naming the address the engine acts on.
bool ProviderVouchesForSender(const std::string& trustedIds, const MailHeaders& headers,
                              const IncomingMessage& message);

enum class AdminMailCheck {
    Proceed,         // dispatch the message
    AlreadyActedOn,  // a proven administrator's mail seen before: ignore it
    Waits,           // its record could not be written: it waits for the next pass
};

// For a message about to be dispatched. Mail from an administrator's
// address without a proof loses the administrator's rights for this
// message ("    Administrator mail not proven...Handled as a member's"; no
// reply says why). Proven mail is remembered before it is acted on, and
// mail remembered already is not acted on again, unless it is a post still
// on its way to members. `approved`: what TakeApprovedLine found.
AdminMailCheck CheckAdministratorMail(MailList& list, const MailHeaders& headers, IncomingMessage& message,
                                      bool approved);

// The line an approval request starts with, CR LF and an empty line after
// it, saying how to approve; empty when the list asks for no proof.
std::string HowToApprove(const MailList& list);

// The attachments of a post (full paths joined by '|') without those that
// hold the administrators' password, each left out with a printed line: the
// HTML half of an approval carries the "Approved:" line too.
std::string AttachmentsWithoutPassword(const MailList& list, const std::string& spoolPath,
                                       const std::string& attachments);
