// One complete SMTP delivery: connect, greeting, HELO, envelope, DATA with
// the composed message and its attachments, QUIT. The library export is a
// thin wrapper; tests call this directly with shortened time limits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class MailSocket;

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
    bool bearer = false;          // `password` is an OAuth 2.0 access token (TLS only)
};

struct Extensions;

// One message as the exports take it, its recipients split and its extra
// header lines checked.
struct Copy {
    const char* from = nullptr;
    std::vector<std::string> recipients;
    const char* replyTo = nullptr;
    const char* subject = nullptr;
    const char* body = nullptr;
    int32_t bodyLength = 0;
    const char* attachments = nullptr;
    std::string extraHeaders;
};

// What must hold before anything goes out: NullPointer, InvalidParameter
// (CR or LF in an address, an unknown security mode) or PlainAuthRefused.
int32_t checkDelivery(const char* server, const char* from, const char* to, const Security& security);

// Fills `copy` from the export's arguments; InvalidParameter for extra
// header lines that could break the header block.
int32_t prepareCopy(Copy& copy, const char* from, const char* to, const char* replyTo, const char* subject,
                    const char* body, int32_t bodyLength, const char* attachments, const char* headers);

// Connects the way `security` says and runs the opening up to where MAIL
// FROM may follow: greeting, HELO (plain) or EHLO with STARTTLS and AUTH.
// `offered`: what EHLO offered (nothing after HELO).
int32_t openConnection(MailSocket& s, const char* server, const char* from, const Security& security, bool record,
                       Extensions& offered);

// Queues the message text and its attachments after the server's 354. The
// end of the data is left in `end` for the caller to send with its wait for
// the reply, so without attachments the whole message goes in one write.
int32_t writeMessage(MailSocket& s, const Copy& copy, std::string& end);

// The dialogue into the caller's array (at most size - 1 bytes, no
// terminator), any credential in it masked.
void copyTranscript(std::string_view dialogue, const Security& security, char* transcript, int32_t size);

// Arguments and results as KOVASMTP_SendEMail; `headers` as
// KOVASMTP_SendEMailWithHeaders takes them. Never throws.
int32_t sendEMail(const char* server, const char* from, const char* to, const char* replyTo, const char* subject,
                  const char* body, int32_t bodyLength, const char* attachments, char* transcript,
                  int32_t transcriptSize, const char* headers = nullptr, const Security& security = {}) noexcept;

}  // namespace smtp
