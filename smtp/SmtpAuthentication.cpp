#include "SmtpAuthentication.h"

#include <string_view>

#include "smtp/SmtpConnection.h"
#include "transport/Base64Encoder.h"
#include "transport/BearerSasl.h"
#include "transport/ResultCodes.h"

namespace smtp {

namespace {

using transport::base64Line;
using transport::BearerMechanism;

// Postfix refuses longer command lines ("request longer than 2048").
constexpr size_t kAuthLineLimit = 2048;

std::string plainResponse(const Security& s) { return base64Line(std::string(1, '\0') + s.user + '\0' + s.password); }

// RFC 4616: the response goes with the command.
int32_t plain(Connection& c, const Security& s, Reply& reply) {
    return c.command("AUTH PLAIN " + plainResponse(s) + "\r\n", Step::Auth, reply);
}

// The user name and the password each answer a 334 challenge.
int32_t login(Connection& c, const Security& s, Reply& reply) {
    int32_t r = c.command("AUTH LOGIN\r\n", Step::Auth, reply);
    if (r == ResultCode::Success && reply.code == 334) r = c.command(base64Line(s.user) + "\r\n", Step::Auth, reply);
    if (r == ResultCode::Success && reply.code == 334)
        r = c.command(base64Line(s.password) + "\r\n", Step::Auth, reply);
    return r;
}

// The token goes with the command when the line fits, else after the
// server's empty challenge. A challenge after it carries only the server's
// error: the answer it asks for brings the failure reply.
template <BearerMechanism M>
int32_t bearer(Connection& c, const Security& s, Reply& reply) {
    const transport::BearerOpening opening = transport::bearerOpening(M, s.user, s.password, kAuthLineLimit);
    int32_t r = c.command(opening.command, Step::Auth, reply);
    if (r == ResultCode::Success && !opening.continuation.empty() && reply.code == 334)
        r = c.command(opening.continuation, Step::Auth, reply);
    if (r != ResultCode::Success || reply.code != 334) return r;
    r = c.command(transport::bearerErrorAnswer(M) + "\r\n", Step::Auth, reply);
    // Whatever follows an error is no sign-in.
    return r == ResultCode::Success ? ResultCode::AuthenticationRefused : r;
}

template <BearerMechanism M>
std::vector<std::string> bearerSecrets(const Security& s) {
    return {transport::bearerInitialResponse(M, s.user, s.password), s.password};
}

struct Mechanism {
    std::string_view name;
    bool token;  // takes an OAuth 2.0 access token, not a password
    int32_t (*run)(Connection&, const Security&, Reply&);
    // What it sends that must not appear in a transcript.
    std::vector<std::string> (*secrets)(const Security&);
};

// In the order preferred within each kind: PLAIN before LOGIN, OAUTHBEARER
// (the standard) before XOAUTH2.
const Mechanism kMechanisms[] = {
    {"PLAIN", false, plain, [](const Security& s) { return std::vector<std::string>{plainResponse(s)}; }},
    {"LOGIN", false, login, [](const Security& s) { return std::vector<std::string>{base64Line(s.password)}; }},
    {"OAUTHBEARER", true, bearer<BearerMechanism::OAuthBearer>, bearerSecrets<BearerMechanism::OAuthBearer>},
    {"XOAUTH2", true, bearer<BearerMechanism::XOAuth2>, bearerSecrets<BearerMechanism::XOAuth2>},
};

}  // namespace

int32_t authenticate(Connection& connection, const std::vector<std::string>& offered, const Security& security) {
    for (const Mechanism& m : kMechanisms) {
        if (m.token != security.bearer) continue;
        bool common = false;
        for (const auto& o : offered) common = common || o == m.name;
        if (!common) continue;
        Reply reply;
        const int32_t r = m.run(connection, security, reply);
        if (r != ResultCode::Success) return r;
        return reply.code == 235 ? ResultCode::Success : ResultCode::AuthenticationRefused;
    }
    return ResultCode::AuthNotOffered;
}

std::string maskCredentials(std::string transcript, const Security& security) {
    if (security.user.empty()) return transcript;
    for (const Mechanism& m : kMechanisms) {
        if (m.token != security.bearer) continue;
        for (const std::string& secret : m.secrets(security)) {
            if (secret.empty()) continue;
            for (size_t at = 0; (at = transcript.find(secret, at)) != std::string::npos;)
                transcript.replace(at, secret.size(), "********");
        }
    }
    return transcript;
}

}  // namespace smtp
