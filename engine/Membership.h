// Whether a sender or a named address is on the list, or one of its
// administrators. Addresses compare equal ignoring the case of ASCII letters.
#pragma once

#include <string_view>

#include "MailList.h"

// `text` is reduced with MailboxAddress first; a text that names no single
// address is nobody. Empty entries of the store are passed over: a blank
// line in the member file hides nobody after it.
bool IsMember(const MailList& list, std::string_view text);
bool IsAdministrator(const MailList& list, std::string_view text);
