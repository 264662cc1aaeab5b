#include "Pop3Authentication.h"

#include <sstream>

#include "pop3/Pop3Reply.h"
#include "text/TextRules.h"
#include "transport/BearerSasl.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

namespace pop3 {

namespace {

// RFC 5034: a command with its initial response may not exceed this.
constexpr size_t kAuthLineLimit = 255;
// CAPA answers are short; a server that never ends its list is not waited on forever.
constexpr int kMaxCapabilityLines = 200;

// exchangeLine within the reply time limit.
int32_t exchange(MailSocket& s, std::string_view command, std::string& line) {
    return exchangeLine(s, command, transport::limits().replyMs, line);
}

// The server is busy or failing rather than refusing who we are.
bool temporaryRefusal(const std::string& reply) {
    const std::string upper = text::toUpper(reply);
    return upper.find("[IN-USE]") != std::string::npos || upper.find("[SYS/") != std::string::npos;
}

// `credentials`: the reply answers the credentials themselves, so an
// [AUTH] code says they were wrong (a server refusing USER with [AUTH] in
// clear wants TLS, which the connection settings decide).
int32_t refusal(const std::string& reply, bool credentials, bool tls) {
    if (temporaryRefusal(reply)) return ResultCode::IncorrectResponse;
    if (tls || (credentials && text::toUpper(reply).find("[AUTH]") != std::string::npos))
        return ResultCode::AuthenticationRefused;
    return ResultCode::IncorrectResponse;
}

struct SaslOffer {
    bool oauthBearer = false;
    bool xoauth2 = false;
};

int32_t readCapabilities(MailSocket& s, SaslOffer& offer) {
    std::string line;
    int32_t r = exchange(s, "CAPA\r\n", line);
    if (r != ResultCode::Success) return r;
    if (parseStatus(line) != Status::Ok) return ResultCode::Success;  // no CAPA: no SASL either
    for (int n = 0; n < kMaxCapabilityLines; ++n) {
        r = s.ReadLine(line, kMaxStatusLine, transport::limits().replyMs);
        if (r != ResultCode::Success) return r;
        if (line == ".\r\n" || line == ".\n") return ResultCode::Success;
        std::istringstream words(text::toUpper(line));
        std::string word;
        words >> word;
        if (word != "SASL") continue;
        while (words >> word) {
            if (word == "OAUTHBEARER") offer.oauthBearer = true;
            if (word == "XOAUTH2") offer.xoauth2 = true;
        }
    }
    return ResultCode::ResponseTimeout;
}

}  // namespace

int32_t passwordLogin(MailSocket& s, const std::string& user, const std::string& password) {
    std::string reply;
    int32_t r = exchange(s, "USER " + user + "\r\n", reply);
    if (r != ResultCode::Success) return r;
    if (parseStatus(reply) != Status::Ok) return refusal(reply, false, s.IsTls());
    r = exchange(s, "PASS " + password + "\r\n", reply);
    if (r != ResultCode::Success) return r;
    return parseStatus(reply) == Status::Ok ? ResultCode::Success : refusal(reply, true, s.IsTls());
}

int32_t bearerLogin(MailSocket& s, const std::string& user, const std::string& token) {
    SaslOffer offer;
    int32_t r = readCapabilities(s, offer);
    if (r != ResultCode::Success) return r;
    const auto mechanism = transport::chooseBearerMechanism(offer.oauthBearer, offer.xoauth2);
    if (!mechanism) return ResultCode::AuthNotOffered;

    // Provider tokens run to kilobytes: the response mostly goes after the
    // server's empty challenge.
    const transport::BearerOpening opening = transport::bearerOpening(*mechanism, user, token, kAuthLineLimit);
    std::string reply;
    r = exchange(s, opening.command, reply);
    if (r == ResultCode::Success && !opening.continuation.empty() && parseStatus(reply) == Status::Challenge)
        r = exchange(s, opening.continuation, reply);
    if (r != ResultCode::Success) return r;
    if (parseStatus(reply) == Status::Challenge) {
        // An error challenge: answer it so the server ends the exchange with its failure.
        r = exchange(s, transport::bearerErrorAnswer(*mechanism) + "\r\n", reply);
        if (r != ResultCode::Success) return r;
        if (parseStatus(reply) == Status::Ok) return ResultCode::AuthenticationRefused;  // a server may not accept here
    }
    return parseStatus(reply) == Status::Ok ? ResultCode::Success : refusal(reply, true, true);
}

}  // namespace pop3
