#include "SmtpBearerAuth.h"

#include "smtp/SmtpDelivery.h"
#include "smtp/SmtpExtensions.h"
#include "transport/BearerSasl.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

namespace smtp {

namespace {

// Postfix refuses longer command lines ("request longer than 2048").
constexpr size_t kAuthLineLimit = 2048;

bool startsWith(const std::string& reply, const char* code) { return reply.rfind(code, 0) == 0; }

// The code of a complete reply is on its last line; a challenge is one line.
bool lastLineHas(const std::string& reply, const char* code) {
    const size_t end = reply.size() >= 2 ? reply.find_last_of('\n', reply.size() - 2) : std::string::npos;
    return startsWith(end == std::string::npos ? reply : reply.substr(end + 1), code);
}

}  // namespace

int32_t authenticateBearer(MailSocket& s, const Extensions& offered, const std::string& user,
                           const std::string& token) {
    const auto mechanism = transport::chooseBearerMechanism(offered.authOAuthBearer, offered.authXOAuth2);
    if (!mechanism) return ResultCode::AuthNotOffered;
    const transport::BearerOpening opening = transport::bearerOpening(*mechanism, user, token, kAuthLineLimit);
    std::string reply;
    int32_t r = exchange(s, opening.command, reply);
    if (r == ResultCode::Success && !opening.continuation.empty() && lastLineHas(reply, "334"))
        r = exchange(s, opening.continuation, reply);
    if (r != ResultCode::Success) return r;
    if (lastLineHas(reply, "334")) {
        // The server's error in a challenge; the dummy answer brings its failure reply.
        r = exchange(s, transport::bearerErrorAnswer(*mechanism) + "\r\n", reply);
        if (r != ResultCode::Success) return r;
        return ResultCode::AuthenticationRefused;
    }
    return lastLineHas(reply, "235") ? ResultCode::Success : ResultCode::AuthenticationRefused;
}

void quitAfterRefusedAuth(MailSocket& s) {
    if (!s.IsConnected() || s.LinkBroken() || s.BytesAvailable() > 0) return;
    std::string reply;
    exchange(s, "quit\r\n", reply);
}

std::string maskBearerCredentials(std::string transcript, const Security& security) {
    if (!security.bearer) return transcript;
    return transport::maskBearer(std::move(transcript), security.user, security.password);
}

}  // namespace smtp
