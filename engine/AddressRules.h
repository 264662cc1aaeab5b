// Taking an address out of header or subject text, and judging whether it
// may become a member.
#pragma once

#include <string>
#include <string_view>

#include "MailList.h"

// The one address a From header, a command's argument or an approval
// subject names, read as RFC 5322 writes mailboxes (mime/MailAddress.h):
// "Ann Lee" <ann@x.org> and ann@x.org (Ann) both give ann@x.org. Empty when
// the text names no address, several, or one SMTP cannot carry; `why`, when
// given, then says which. Whatever the engine stores, compares or mails as a
// person's address comes from here.
std::string MailboxAddress(std::string_view text, std::string* why = nullptr);

// The loose rule of old: drops everything up to the last '"', then up to the
// last '<', cuts at the first '>' and trims spaces. Only for recognising a
// sender (a MAILER-DAEMON without a domain), never for an address to act on.
std::string ExtractAddress(std::string_view text);

// A single address (MailboxAddress) whose domain is an address literal or
// has a '.' with at least two characters after the last one. Addresses that
// would turn into an administrator line of the member file ("_!_" at the
// start) are never valid.
bool IsValidAddress(const MailList& list, std::string_view address);

// "    FAILURE. <text> is not a valid E-Mail address.", with the reader's
// reason in parentheses when there is one; `text` printed escaped.
void PrintInvalidAddress(std::string_view text, const std::string& why);
