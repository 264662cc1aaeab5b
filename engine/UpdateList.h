// One list's update in a polling pass: clean-up, the mailbox fetch, and the
// processing of what the fetch stored.
#pragma once

#include "MailList.h"

void UpdateList(MailList& list);
