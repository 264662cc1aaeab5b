// A list's connection security: read from its settings, and handed to both
// mail libraries before the list's mail is fetched and sent.
#pragma once

#include <string>

#include "MailList.h"

// Reads [POP3] and [SMTP] Security, CAFile, AllowPlainAuth, Auth and [SMTP]
// Username, Password, and [OAuth2] when a side signs in with OAuth 2.0. A
// relative CA file name is taken inside the list directory, like the list's
// text files.
void ReadListSecurity(MailList& list, const std::string& iniPath);

// Sets both libraries for this list. A list without any of the settings gets
// the plain dialogues; an unknown Security value makes the libraries refuse
// (-20) rather than connect plain.
// A side with Auth=OAuth2 gets this pass's access token in place of its password.
void ApplyListSecurity(const MailList& list);

// What the POP3 login sends as the password: the password, or the access token.
const std::string& Pop3Secret(const MailList& list);
