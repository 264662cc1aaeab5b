// The mailbox fetch cycle: empties a list's POP3 mailbox into its directory,
// one ".NEW" spool file per message.
#pragma once

#include <cstdint>
#include <functional>

#include "MailList.h"

// True when at least one message was stored in this cycle.
bool FetchMail(MailList& list);

// The wait between failed logins (10 s). Tests replace it so a refused login
// costs no real time; an empty function restores the real pause.
using LoginPause = std::function<void(uint32_t milliseconds)>;
void SetLoginPauseForTesting(LoginPause pause);
