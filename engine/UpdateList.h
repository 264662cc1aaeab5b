// One list's update in a polling pass: clean-up, then (later) the mailbox
// fetch and the processing of what it stored.
#pragma once

#include "MailList.h"

void UpdateList(MailList& list);
