// Delivery reports that come back to a list's mailbox. Each permanent report
// counts against the members it names; a member whose count reaches the
// list's BounceLimit is removed as an unsubscribe removes one, and the
// administrators are told. Bounces.TXT keeps the counts between passes.
#pragma once

#include <string>

#include "MailHeaders.h"
#include "MailList.h"

// Takes the spool file at `path` when it is a delivery report (by its
// content as much as by its header): counts it, deletes it, or sets it aside
// as ".BAD" when it cannot be read, names no member or the list counts no
// reports. A report whose change cannot be written stays in the spool for
// the next pass. False, with nothing done, for any other message.
bool HandleDeliveryReport(MailList& list, const std::string& path, const MailHeaders& headers);

