// An administrator asking by mail for the list's members.
#pragma once

#include "IncomingMessage.h"
#include "MailList.h"

// Administrators get every entry (theirs marked "  (Administrator)"); other
// members get a refusal.
void HandleMemberListRequest(const MailList& list, const IncomingMessage& message);
