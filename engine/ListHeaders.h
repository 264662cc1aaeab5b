// The header lines that tell mail programs and filters that a message comes
// from this list: who the list is, how to leave, join and post, whether the
// message is a distribution or an answer, and where it belongs in a thread.
#pragma once

#include <string>

#include "IncomingMessage.h"
#include "MailHeaders.h"
#include "MailList.h"

// Copies the message's Message-ID, In-Reply-To and References values.
void TakeThread(const MailHeaders& headers, IncomingMessage& message);

// "<label.domain>": the list's name made a label, under the domain of its
// From address ("localhost" when that has none). Depends only on the
// settings, so it stays the same across restarts.
std::string ListIdentity(const MailList& list);

// List-Id, List-Unsubscribe, List-Subscribe, List-Post and List-Help, each
// line ended by CR LF. The mailto lines are left out when the From address
// has no domain to write to, List-Subscribe and List-Help also when the list
// has no subscribe command and List-Unsubscribe when it has no unsubscribe
// command.
std::string ListHeaderLines(const MailList& list);

// For a copy of a member's post: the list lines, "Precedence: list", the
// post's In-Reply-To, and References continuing the post's thread with the
// post itself.
std::string DistributionHeaders(const MailList& list, const IncomingMessage& post);

// For every answer to a request (confirmations, refusals, approval requests
// and notices, member lists): the list lines, "Auto-Submitted: auto-replied",
// and In-Reply-To and References naming the request.
std::string ReplyHeaders(const MailList& list, const IncomingMessage& request);
