// The two ways the engine sends mail: to one recipient with retries, and to
// every administrator of a list.
#pragma once

#include <cstdint>
#include <string>

#include "MailList.h"

// Sends through the SMTP library up to `attempts` times (1 to 10, else 1),
// stopping at the first success; the last result code. Empty texts go to the
// library as null pointers, so an empty reply-to leaves the header out and
// an empty attachment list sends a plain message. `headers`: extra header
// lines, CR LF between them (the list's own, see ListHeaders.h).
int32_t SendWithRetry(const std::string& server, const std::string& from, const std::string& to,
                      const std::string& replyTo, const std::string& subject, const std::string& body,
                      const std::string& attachments, int attempts, const std::string& headers = {});

// One copy to each administrator, 5 attempts each, from the list's own
// settings. 0 when nothing was sent; else the result of the last send.
int32_t SendToAdministrators(const MailList& list, const std::string& subject, const std::string& body,
                             const std::string& attachments, bool stopOnFailure, const std::string& headers = {});
