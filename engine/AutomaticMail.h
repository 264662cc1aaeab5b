// Mail written by a program (out-of-office replies, delivery reports, other
// lists, our own copies coming back) is never acted on: answering it, or
// taking a command from its subject, is how loops and false subscriptions
// start.
#pragma once

#include <string>

#include "MailHeaders.h"
#include "MailList.h"

// The header that marks the message as automatic ("Auto-Submitted:
// auto-replied"), empty for mail a person sent.
std::string AutomaticMailMarker(const MailList& list, const MailHeaders& headers);

// Sets the spool file at `path` aside as ".BAD" with one printed line when
// its header marks it as automatic; true when it did.
bool SetAsideAutomaticMail(const MailList& list, const std::string& path, const MailHeaders& headers);

// The same for a message known to be automatic by its content: `why` stands
// where the marking header would.
void SetAsideAsAutomatic(const MailList& list, const std::string& path, const MailHeaders& headers,
                         const std::string& why);
