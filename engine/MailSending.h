// The two ways the engine sends mail: to one recipient with retries, and to
// every administrator of a list.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "MailList.h"

// Sends through the SMTP library up to `attempts` times (1 to 10, else 1),
// stopping at the first success, and pausing between tries as SendToMember
// does; a refusal or a server that is down is not tried again. The last
// result code. Empty texts go to the
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

// How one delivery to one member ended.
enum class Delivery {
    Delivered,
    Refused,     // permanently (a 5xx reply, an unusable address): not tried again
    Transient,   // a 4xx reply or a broken session: worth another try later
    ServerDown,  // no connection or no greeting: the server takes nothing now
    Held,        // refused for the list, not the member (a sending limit, a
                 // policy, the post): the post waits (RefusalJudgement.h)
};
// The server reply that decided a failed delivery, as the library hands it
// over: code 0 when none did (a time-out, a broken connection, a local failure).
struct ServerReply {
    int32_t code = 0;
    std::string status;  // RFC 3463 enhanced status ("5.1.1"), empty when none
    std::string text;    // its lines, CR LF between them, cut at 4 KB
};
struct DeliveryResult {
    Delivery kind = Delivery::Delivered;
    int32_t code = 0;
    ServerReply reply;
};

// A server that took no connection or gave no greeting is not tried again
// until this is called, at the start of every list's update, so one server
// that is down costs its time limit once per pass, not once per mail.
void ForgetServersDown();
bool ServerDownThisPass(const std::string& server);
// Counts `server` as down for the rest of the list's update with `code`:
// the list cannot sign in to it this pass (-48, -49), so its mail waits.
void MarkServerDown(const std::string& server, int32_t code);

// Called when a server refused the list's login (-44): 0 when a fresh
// credential is now in force and the send may be tried once more, else the
// code the send fails with. Unset, a refused login is not tried again.
using AuthRefusedHandler = std::function<int32_t()>;
void SetAuthRefusedHandler(AuthRefusedHandler handler);

// One copy of a post to one member. A transient failure is tried again after
// a pause (cut short by a stop request); a refusal or a server that is down
// is not.
DeliveryResult SendToMember(const MailList& list, const std::string& to, const std::string& subject,
                            const std::string& body, const std::string& attachments,
                            const std::string& headers = {});

// One SMTP session for all copies of one post, from the list's settings and
// the SMTP security in force when it is made; it connects at the first copy
// and says QUIT when it goes.
struct KOVASMTP_Session;
class PostSession {
public:
    explicit PostSession(const MailList& list);
    ~PostSession();
    PostSession(const PostSession&) = delete;
    PostSession& operator=(const PostSession&) = delete;
    KOVASMTP_Session* get() const { return session_; }
    // A new session with the SMTP security now in force (a fresh token).
    void renew();

private:
    void open();
    std::string server_;
    std::string from_;
    KOVASMTP_Session* session_ = nullptr;
};

// As SendToMember above, through the post's session: the tries and pauses
// are the same, a try after a pause may reconnect. Without a session (it
// could not be made) each copy goes through a connection of its own.
DeliveryResult SendToMember(const MailList& list, PostSession& session, const std::string& to,
                            const std::string& subject, const std::string& body, const std::string& attachments,
                            const std::string& headers = {});

// The pause between two tries of SendToMember. Returns false when a stop
// request ended it. Tests replace it; an empty function restores the real one.
using RetryPause = std::function<bool(uint32_t milliseconds)>;
void SetRetryPauseForTesting(RetryPause pause);
