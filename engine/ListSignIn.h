// A list's OAuth 2.0 sign-in for one pass: the access token its POP3 and
// SMTP sides share, one renewal when a server refuses it, and what happens
// when the list cannot sign in (-48: the grant is gone, -49: the token
// endpoint is down or answers junk): the list's mail waits, nothing is
// asked of the provider again in the pass, and a refused grant is reported
// in the event log.
#pragma once

#include <cstdint>

#include "MailList.h"

// Before the list's mail work, after ForgetServersDown: gets the token (from
// the cache or the provider), applies both sides' security, and on failure
// counts the list's SMTP server as down with the code. 0 or the failure
// code; 0 also for a list without OAuth.
int32_t PrepareListSignIn(MailList& list);

// A server refused the token: a fresh one, once a pass. 0 when it is in
// force now; else the code the login or send fails with (-44 after the one
// renewal, -48, -49).
int32_t RenewListSignIn(MailList& list);
