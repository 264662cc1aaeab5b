// One SMTP connection: its opening up to where MAIL FROM may follow, and
// the one way a command is sent and its reply read. Every step of the
// dialogue is named here with the reply that lets it go on and its time
// limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "smtp/SmtpExtensions.h"
#include "smtp/SmtpReply.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"

namespace smtp {

inline constexpr uint16_t kDefaultPort = 25;
inline constexpr uint16_t kTlsPort = 465;
inline constexpr uint16_t kSubmissionPort = 587;

// How a connection is secured and authenticated. The default is plain, no
// authentication.
struct Security {
    enum Mode { None = 0, Tls = 1, StartTls = 2 };
    int mode = None;
    std::string caFile;    // extra trusted certificates (PEM), or empty
    std::string user;      // empty: no AUTH
    std::string password;
    bool allowPlainAuth = false;  // AUTH may go over a connection without TLS
    bool bearer = false;          // `password` is an OAuth 2.0 access token: TLS only
};

enum class Step { Greeting, Ehlo, Helo, StartTls, Auth, Reset, Mail, Recipient, Data, EndOfData, Quit };

struct StepRule {
    Step step;
    int accepts;                          // the reply code that lets the dialogue go on
    uint32_t transport::Limits::*limit;  // how long its reply may take
};
const StepRule& rule(Step step);

// The step's own code; a recipient is also taken with 251 ("will forward").
bool accepted(Step step, const Reply& reply);

class Connection {
public:
    // Connects the way `security` says (the mode's port unless `server`
    // names one), then the greeting, EHLO (HELO when the server refuses
    // EHLO), STARTTLS with EHLO again when asked for, and AUTH when a user
    // is given. Never falls back to plain text, never sends credentials in
    // clear unless allowed, a token never. On failure the reply that decided
    // is refusal().
    int32_t open(const std::string& server, std::string_view from, const Security& security, bool record);
    void close() { socket_.Disconnect(); }

    // Sends one command and reads its reply. IncorrectResponse, and nothing
    // sent, when bytes no command asked for are waiting: taking them for
    // this command's reply would put the dialogue out of step for good.
    int32_t command(std::string_view text, Step step, Reply& reply);
    // Reads the reply to a command that went out in a group.
    int32_t await(Step step, Reply& reply);

    MailSocket& socket() { return socket_; }
    const Extensions& offered() const { return offered_; }
    bool greeted() const { return greeted_; }
    // The last reply read when it did not let its step go on, else empty.
    const Reply& refusal() const { return refused_ ? last_ : kNone; }

private:
    int32_t hello(const std::string& domain);

    MailSocket socket_;
    Extensions offered_;
    bool greeted_ = false;
    Reply last_;
    bool refused_ = false;
    static inline const Reply kNone{};
};

}  // namespace smtp
