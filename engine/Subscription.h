// Joining and leaving a list by mail.
#pragma once

#include "IncomingMessage.h"
#include "MailList.h"
#include "MessageFate.h"

// Adds the sender (or the address an administrator names) as an ordinary
// member, rewrites the member file and sends the welcome text.
void HandleSubscribe(MailList& list, const IncomingMessage& message, MessageFate* fate);

// Removes every entry equal to the sender (or the named address), rewrites
// the member file and confirms.
void HandleUnsubscribe(MailList& list, const IncomingMessage& message, MessageFate* fate);
