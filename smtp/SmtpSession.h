// Several messages through one SMTP connection: the opening (greeting,
// HELO or EHLO, TLS, AUTH) once, then one transaction per message with RSET
// between them. Commands go out in one group when the server offers
// PIPELINING. A connection the server ended between two messages, a 421, or
// a 4xx to RSET or MAIL (a server's limit of messages per connection) is
// replaced by a fresh one and that message sent again, once; nothing is
// ever sent again once its end of data went out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "smtp/SmtpDelivery.h"
#include "smtp/SmtpExtensions.h"

class MailSocket;

namespace smtp {

class Session {
public:
    // Nothing is contacted before the first send.
    Session(std::string server, std::string from, Security security);
    ~Session();  // as close()
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // One message, results as sendEMail for it alone; `transcript` receives
    // this message's part of the dialogue (with any opening it needed).
    int32_t send(const char* to, const char* replyTo, const char* subject, const char* body, int32_t bodyLength,
                 const char* attachments, const char* headers, char* transcript, int32_t transcriptSize) noexcept;

    // QUIT when the connection is in step, then closes it. A later send opens a new one.
    void close() noexcept;

    // The server's reply code that made the last send fail (0 when it
    // succeeded or no reply decided it: a time-out, a broken connection, a
    // local failure), and whether that connection had given its greeting.
    int lastReply() const { return lastReply_; }
    bool greeted() const { return greeted_; }
    // Connections opened so far.
    int connections() const { return connections_; }
    bool pipelining() const { return offered_.pipelining; }

private:
    struct Outcome {
        int32_t result = 0;
        int reply = 0;
        bool again = false;  // nothing of the message was taken: a fresh connection may have it
    };
    Outcome attempt(const Copy& copy);
    Outcome envelope(const Copy& copy, bool fresh);
    Outcome message(const Copy& copy);
    int32_t open();
    // Sends `command` and reads its reply; IncorrectResponse, and nothing
    // sent, when bytes no command asked for are waiting.
    int32_t command(const std::string& text, std::string& reply);
    void drop();  // closes without QUIT
    void quit();  // QUIT, then closes
    void keepTranscript();

    std::string server_;
    std::string from_;
    Security security_;
    std::unique_ptr<MailSocket> socket_;
    Extensions offered_;
    bool open_ = false;
    bool greeted_ = false;
    int lastReply_ = 0;
    int connections_ = 0;
    bool recording_ = false;  // the caller of this send wants its dialogue
    std::string dialogue_;
};

}  // namespace smtp
