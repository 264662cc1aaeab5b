// A list's connection security: read from its settings, and handed to both
// mail libraries before the list's mail is fetched and sent.
#pragma once

#include <string>

#include "MailList.h"

// Reads [POP3] and [SMTP] Security, CAFile, AllowPlainAuth and [SMTP]
// Username, Password. A relative CA file name is taken inside the list
// directory, like the list's text files.
void ReadListSecurity(MailList& list, const std::string& iniPath);

// Sets both libraries for this list. A list without any of the settings gets
// the plain dialogues; an unknown Security value makes the libraries refuse
// (-20) rather than connect plain.
void ApplyListSecurity(const MailList& list);
