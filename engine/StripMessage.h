// Preparing a spool file before it is read: attachments decoded into the
// attachment folder (and dropped when the list strips them), HTML replaced
// by a marker line when the list strips it.
#pragma once

#include <string>

#include "MailList.h"

// May rewrite the file in place or set it aside as ".BAD"; the caller then
// finds no ".NEW" file to open.
void StripMessage(const MailList& list, const std::string& spoolPath);
