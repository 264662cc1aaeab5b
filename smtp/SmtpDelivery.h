// One complete SMTP delivery: connect, greeting, HELO, envelope, DATA with
// the composed message and its attachments, QUIT. The library export is a
// thin wrapper; tests call this directly with shortened time limits.
#pragma once

#include <cstdint>

namespace smtp {

inline constexpr uint16_t kDefaultPort = 25;

// Arguments and results as KOVASMTP_SendEMail; `headers` as
// KOVASMTP_SendEMailWithHeaders takes them. Never throws.
int32_t sendEMail(const char* server, const char* from, const char* to, const char* replyTo, const char* subject,
                  const char* body, int32_t bodyLength, const char* attachments, char* transcript,
                  int32_t transcriptSize, const char* headers = nullptr) noexcept;

}  // namespace smtp
