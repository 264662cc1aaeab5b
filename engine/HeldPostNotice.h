// The administrators' notice that the SMTP server holds a post (a refusal
// that concerns the list, not a member): one for a post the first time it is
// held, at most one a day per list. A notice the server refuses as well, as a
// provider refuses all mail past its limit, is owed and goes out after a
// later pass's copies of a post; one is owed at a time.
//
// Kept in the list's spool, Held.TXT, lines ended by CR LF: the time of the
// last notice (seconds since 1970, 0 before any), then "told<TAB>x" for each
// post still in the spool the administrators were told of, and
// "owed<TAB>x<TAB>subject<TAB>reply" for the notice not yet sent (the texts
// with their control bytes escaped).
#pragma once

#include <string>

#include "MailList.h"
#include "MailSending.h"

// The post at spoolPath was held by `reply`.
void NoteHeldPost(const MailList& list, const std::string& spoolPath, const std::string& subject,
                  const ServerReply& reply);

// Sends the notice owed, if there is one.
void SendHeldPostNotice(const MailList& list);
