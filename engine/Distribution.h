// A post on its way to the members, over as many passes as it takes: each
// member gets it once, or waits for a later pass while the server is down,
// answers "try later", holds the post for a reason that concerns the list
// (a sending limit, a policy), or the list's own limits allow no more now.
#pragma once

#include <string>

#include "IncomingMessage.h"
#include "MailList.h"

// Sends the post to every member it has not reached yet but `excluded`
// (and, on a list that approves posts, the other administrators). False
// when some members still wait for it: the spool file then stays for a
// later pass. After Keep days of failures the administrators hear who
// missed it and the post is done.
bool DistributePost(const MailList& list, const IncomingMessage& message, const std::string& sender,
                    const std::string& excluded);
