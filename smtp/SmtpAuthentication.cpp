#include "SmtpAuthentication.h"

#include <string_view>

#include "smtp/SmtpConnection.h"
#include "transport/Base64Encoder.h"
#include "transport/ResultCodes.h"

namespace smtp {

namespace {

std::string base64(std::string_view text) {
    std::string out;
    transport::appendBase64Lines(out, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    std::erase_if(out, [](char c) { return c == '\r' || c == '\n'; });
    return out;
}

std::string plainResponse(const Security& s) { return base64(std::string(1, '\0') + s.user + '\0' + s.password); }

// RFC 4616: the response goes with the command.
int32_t plain(Connection& c, const Security& s, Reply& reply) {
    return c.command("AUTH PLAIN " + plainResponse(s) + "\r\n", Step::Auth, reply);
}

// The user name and the password each answer a 334 challenge.
int32_t login(Connection& c, const Security& s, Reply& reply) {
    int32_t r = c.command("AUTH LOGIN\r\n", Step::Auth, reply);
    if (r == ResultCode::Success && reply.code == 334) r = c.command(base64(s.user) + "\r\n", Step::Auth, reply);
    if (r == ResultCode::Success && reply.code == 334) r = c.command(base64(s.password) + "\r\n", Step::Auth, reply);
    return r;
}

struct Mechanism {
    std::string_view name;
    int32_t (*run)(Connection&, const Security&, Reply&);
    // What it sends that must not appear in a transcript.
    std::vector<std::string> (*secrets)(const Security&);
};

const Mechanism kMechanisms[] = {
    {"PLAIN", plain, [](const Security& s) { return std::vector<std::string>{plainResponse(s)}; }},
    {"LOGIN", login, [](const Security& s) { return std::vector<std::string>{base64(s.password)}; }},
};

}  // namespace

int32_t authenticate(Connection& connection, const std::vector<std::string>& offered, const Security& security) {
    for (const Mechanism& m : kMechanisms) {
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
        for (const std::string& secret : m.secrets(security)) {
            if (secret.empty()) continue;
            for (size_t at = 0; (at = transcript.find(secret, at)) != std::string::npos;)
                transcript.replace(at, secret.size(), "********");
        }
    }
    return transcript;
}

}  // namespace smtp
