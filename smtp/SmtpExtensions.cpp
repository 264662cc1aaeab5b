#include "SmtpExtensions.h"

#include <sstream>

#include "smtp/SmtpBearerAuth.h"
#include "smtp/SmtpDelivery.h"
#include "transport/Base64Encoder.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"
#include "text/TextRules.h"

namespace smtp {

namespace {

// A reply is complete once its last line has ended and does not announce a
// further one the way "250-..." does.
bool complete(std::string_view reply) {
    if (reply.size() < 2 || reply.back() != '\n') return false;
    const size_t start = reply.find_last_of('\n', reply.size() - 2);
    const std::string_view last = reply.substr(start == std::string_view::npos ? 0 : start + 1);
    return !(last.size() >= 4 && last[3] == '-');
}

bool hasCode(std::string_view reply, std::string_view code) {
    // The last line decides; all lines carry the same code.
    const size_t start = reply.size() >= 2 ? reply.find_last_of('\n', reply.size() - 2) : std::string_view::npos;
    const std::string_view last = reply.substr(start == std::string_view::npos ? 0 : start + 1);
    return last.substr(0, code.size()) == code;
}

std::string plainBlob(const std::string& user, const std::string& password) {
    return std::string(1, '\0') + user + '\0' + password;
}

std::string base64(std::string_view text) {
    std::string out;
    transport::appendBase64Lines(out, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    std::string flat;
    for (char c : out)
        if (c != '\r' && c != '\n') flat += c;
    return flat;
}

}  // namespace

int32_t exchange(MailSocket& s, const std::string& command, std::string& reply) {
    reply.clear();
    if (!command.empty()) {
        const int32_t r = s.Send(command);
        if (r != ResultCode::Success) return r;
    }
    std::string piece;
    while (!complete(reply)) {
        if (s.BytesAvailable() == 0 && !s.WaitForBytes(0, transport::limits().replyMs))
            return ResultCode::ResponseTimeout;
        piece.resize(static_cast<size_t>(s.BytesAvailable()));
        int32_t got = 0;
        const int32_t r = s.Read(piece.data(), static_cast<int32_t>(piece.size()), &got);
        if (r != ResultCode::Success) return r;
        reply.append(piece.data(), static_cast<size_t>(got));
        if (reply.size() > (1u << 20)) return ResultCode::IncorrectResponse;  // no honest reply is this long
    }
    return ResultCode::Success;
}

Extensions parseExtensions(std::string_view reply) {
    Extensions e;
    std::istringstream lines{std::string(reply)};
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (first) {  // the greeting line of the reply names the server, not an extension
            first = false;
            continue;
        }
        if (line.size() < 4) continue;
        std::string words = text::toUpper(line.substr(4));
        if (!words.empty() && words.back() == '\r') words.pop_back();
        std::istringstream in(words);
        std::string keyword;
        in >> keyword;
        if (keyword == "STARTTLS") e.startTls = true;
        if (keyword == "PIPELINING") e.pipelining = true;
        if (keyword == "AUTH") {
            for (std::string m; in >> m;) {
                if (m == "PLAIN") e.authPlain = true;
                if (m == "LOGIN") e.authLogin = true;
                if (m == "OAUTHBEARER") e.authOAuthBearer = true;
                if (m == "XOAUTH2") e.authXOAuth2 = true;
            }
        }
    }
    return e;
}

int32_t ehlo(MailSocket& s, const std::string& domain, Extensions& offered) {
    std::string reply;
    const int32_t r = exchange(s, "ehlo " + domain + "\r\n", reply);
    if (r != ResultCode::Success) return r;
    if (!hasCode(reply, "250")) return ResultCode::IncorrectResponse;
    offered = parseExtensions(reply);
    return ResultCode::Success;
}

int32_t authenticate(MailSocket& s, const Extensions& offered, const std::string& user,
                     const std::string& password) {
    std::string reply;
    int32_t r;
    if (offered.authPlain) {
        r = exchange(s, "AUTH PLAIN " + base64(plainBlob(user, password)) + "\r\n", reply);
    } else if (offered.authLogin) {
        r = exchange(s, "AUTH LOGIN\r\n", reply);
        if (r == ResultCode::Success && hasCode(reply, "334")) r = exchange(s, base64(user) + "\r\n", reply);
        if (r == ResultCode::Success && hasCode(reply, "334")) r = exchange(s, base64(password) + "\r\n", reply);
    } else {
        return ResultCode::AuthNotOffered;
    }
    if (r != ResultCode::Success) return r;
    return hasCode(reply, "235") ? ResultCode::Success : ResultCode::AuthenticationRefused;
}

std::string maskCredentials(std::string transcript, const Security& security) {
    if (security.user.empty()) return transcript;
    transcript = maskBearerCredentials(std::move(transcript), security);
    for (const std::string& secret :
         {base64(plainBlob(security.user, security.password)), base64(security.password)}) {
        if (secret.empty()) continue;
        for (size_t at = 0; (at = transcript.find(secret, at)) != std::string::npos;)
            transcript.replace(at, secret.size(), "********");
    }
    return transcript;
}

int32_t openExtended(MailSocket& s, const std::string& domain, const Security& security, Extensions* told) {
    Extensions offered;
    int32_t r = ehlo(s, domain, offered);
    if (r != ResultCode::Success) return r;
    if (security.mode == Security::StartTls) {
        if (!offered.startTls) return ResultCode::StartTlsNotOffered;
        // Exactly the status line is taken, so anything behind it is seen
        // as injected and fails the handshake.
        r = s.SendAndExpectLine("STARTTLS\r\n", 10, "220", 3, "\r\n", 2, transport::limits().replyMs);
        if (r == ResultCode::IncorrectResponse) return ResultCode::StartTlsNotOffered;
        if (r != ResultCode::Success) return r;
        r = s.StartTls(transport::TlsOptions{security.caFile});
        if (r != ResultCode::Success) return r;
        // What the server offered before TLS counts for nothing now.
        r = ehlo(s, domain, offered);
        if (r != ResultCode::Success) return r;
    }
    if (told) *told = offered;
    if (security.user.empty()) return ResultCode::Success;
    // A token never goes in clear, whatever the plain-text permission says.
    if (!s.IsTls() && (security.bearer || !security.allowPlainAuth)) return ResultCode::PlainAuthRefused;
    r = security.bearer ? authenticateBearer(s, offered, security.user, security.password)
                        : authenticate(s, offered, security.user, security.password);
    if (r == ResultCode::AuthenticationRefused) quitAfterRefusedAuth(s);
    return r;
}

}  // namespace smtp
