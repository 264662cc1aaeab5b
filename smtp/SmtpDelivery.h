// One complete SMTP delivery: connect, greeting, HELO, envelope, DATA with
// the composed message and its attachments, QUIT. The library export is a
// thin wrapper; tests call this directly with shortened time limits.
#pragma once

#include <cstdint>
#include <string>

namespace smtp {

inline constexpr uint16_t kDefaultPort = 25;
inline constexpr uint16_t kTlsPort = 465;
inline constexpr uint16_t kSubmissionPort = 587;

// How a delivery connects and authenticates. The default is the plain
// dialogue with HELO and no authentication.
struct Security {
    enum Mode { None = 0, Tls = 1, StartTls = 2 };
    int mode = None;
    std::string caFile;    // extra trusted certificates (PEM), or empty
    std::string user;      // empty: no AUTH
    std::string password;
    bool allowPlainAuth = false;  // AUTH may go over a connection without TLS
};

// Arguments and results as KOVASMTP_SendEMail; `headers` as
// KOVASMTP_SendEMailWithHeaders takes them. Never throws.
int32_t sendEMail(const char* server, const char* from, const char* to, const char* replyTo, const char* subject,
                  const char* body, int32_t bodyLength, const char* attachments, char* transcript,
                  int32_t transcriptSize, const char* headers = nullptr, const Security& security = {}) noexcept;

}  // namespace smtp
