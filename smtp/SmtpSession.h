// Messages through one SMTP connection: the opening (greeting, EHLO, TLS,
// AUTH) once, then one transaction per message with RSET between them.
// Commands go out in one group when the server offers PIPELINING. A
// connection the server ended between two messages, a 421, or a 4xx to RSET
// or MAIL (a server's limit of messages per connection) is replaced by a
// fresh one and that message sent again, once; nothing is ever sent again
// once its end of data went out. A single message is a session of one that
// leaves every retry to its caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "smtp/MessageWriter.h"
#include "smtp/SmtpConnection.h"
#include "smtp/SmtpReply.h"

namespace smtp {

class Session {
public:
    enum class Resend { Once, Never };

    // Nothing is contacted before the first send.
    Session(std::string server, std::string from, Security security, Resend resend = Resend::Once);
    ~Session();  // as close()
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // One message, arguments and results as KOVASMTP_SessionSend; `transcript`
    // receives this message's part of the dialogue (with any opening it
    // needed), credentials masked.
    int32_t send(const char* to, const char* replyTo, const char* subject, const char* body, size_t bodyLength,
                 const char* attachments, const char* headers, char* transcript, size_t transcriptSize) noexcept;
    // A message already checked; `dialogue`, when given, receives its part of
    // the dialogue as it went (credentials not masked).
    int32_t send(const Copy& copy, std::string* dialogue) noexcept;

    // QUIT when the connection is in step, then closes it; `dialogue` as for
    // send. A later send opens a new connection.
    void close(std::string* dialogue = nullptr) noexcept;

    // The server reply that made the last send fail: code 0 after success or
    // when no reply decided it (a time-out, a broken connection, a local
    // failure). And whether that send's connection had given its greeting.
    const Reply& reply() const { return reply_; }
    int lastReply() const { return reply_.code; }
    bool greeted() const { return greeted_; }
    // Connections opened so far.
    int connections() const { return connections_; }
    bool pipelining() const { return connection_.offered().pipelining; }
    const Security& security() const { return security_; }

private:
    struct Attempt {
        int32_t result = 0;
        Reply reply;
        bool again = false;  // nothing of the message was taken: a fresh connection may have it
    };
    struct Command {
        Step step;
        std::string text;
    };
    Attempt attempt(const Copy& copy);
    Attempt envelope(const Copy& copy, bool fresh);
    Attempt message(const Copy& copy);
    int32_t open();
    void drop();  // closes without QUIT
    void quit();  // QUIT, then closes
    void goodbye();  // QUIT unless the link broke
    void keepTranscript();

    std::string server_;
    std::string from_;
    Security security_;
    Resend resend_;
    Connection connection_;
    bool open_ = false;
    bool greeted_ = false;
    Reply reply_;
    int connections_ = 0;
    std::string* dialogue_ = nullptr;  // where the send under way records, if anywhere
};

}  // namespace smtp
