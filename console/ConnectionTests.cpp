#include "ConnectionTests.h"

#include "StoredText.h"
#include "list/ListSettings.h"
#include "frmSecurity.h"
#include "transport/KOVAMail.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int32_t kBufferSize = 4096;
const char kTestText[] = "KOVA(tm) Ringpost Test Message";

TestOutcome success() { return {QStringLiteral("Test successful!"), DialogIcon::Information}; }

}  // namespace

QString testFailureMessage(int32_t code) {
    switch (code) {
        case KOVA_PORT_NOT_OPENED:
            return QStringLiteral(
                "Test failed because a port was unable to be opened. Please report this error to KOVA.");
        case KOVA_THREAD_NOT_CREATED:
            return QStringLiteral("Test failed because a reader or writer thread was unable to be created. Please "
                                  "report this error to KOVA.");
        case KOVA_OUT_OF_MEMORY: return QStringLiteral("Test failed because out of memory. Please report this error to KOVA.");
        case KOVA_INCORRECT_RESPONSE:
            return QStringLiteral("Test failed due to an incorrect response. Usually this is caused by the mail "
                                  "server, an incorrect password, or an incorrect username.");
        case KOVA_RESPONSE_TIMEOUT:
            return QStringLiteral("Test failed because a response took too long, or the mail server is not "
                                  "responding. Usually this is caused by the mail server.");
        case KOVA_INVALID_PARAMETER: return QStringLiteral("Test failed because of an invalid parameter.");
        case KOVA_NULL_POINTER: return QStringLiteral("Test failed because of an invalid NULL pointer.");
        case KOVA_FILE_NOT_OPENED:
            return QStringLiteral(
                "Test failed because the file was unable to be opened. Please make sure the file exists.");
        case KOVA_WRITE_ERROR: return QStringLiteral("Test failed because of a write error. Please report this error to KOVA.");
        default:
            if (QString s = securityFailureMessage(code); !s.isEmpty()) return s;
            return QStringLiteral("Test failed with error code ") + QString::number(code) +
                   QStringLiteral(". Please report this error to KOVA.");
    }
}

QString securityFailureMessage(int32_t code) {
    switch (code) {
        case KOVA_TLS_HANDSHAKE_FAILED:
            return QStringLiteral("Test failed because no secure (TLS) connection could be made. Check that the "
                                  "server and port offer the connection type chosen under Security.");
        case KOVA_CERTIFICATE_UNTRUSTED:
            return QStringLiteral("Test failed because the server's certificate is not signed by a trusted "
                                  "authority. If the server uses a private authority, give its certificate as "
                                  "the CA file under Security.");
        case KOVA_HOST_NAME_MISMATCH:
            return QStringLiteral("Test failed because the server's certificate is made out for another name. Use "
                                  "the server name the certificate names.");
        case KOVA_STARTTLS_NOT_OFFERED:
            return QStringLiteral("Test failed because the server does not offer STARTTLS. Nothing was sent in "
                                  "plain text; choose TLS or another port under Security.");
        case KOVA_AUTH_REFUSED: return QStringLiteral("Test failed because the server refused the username or password.");
        case KOVA_PLAIN_AUTH_REFUSED:
            return QStringLiteral("Test failed because the password would go over a connection without TLS. "
                                  "Choose TLS or STARTTLS under Security, or allow that in so many words.");
        case KOVA_CERTIFICATE_EXPIRED:
            return QStringLiteral("Test failed because the server's certificate has expired or is not yet valid.");
        case KOVA_AUTH_NOT_OFFERED:
            return QStringLiteral("Test failed because the server offers no login method Ringpost knows "
                                  "(PLAIN or LOGIN, or OAUTHBEARER or XOAUTH2 for OAuth 2.0).");
        default: return {};
    }
}

namespace {

int32_t securityCode(const SecurityValues& v) {
    const int32_t s = list::parseSecurity(v.security);
    return s == list::kSecurityUnset ? 0 : s;
}

}  // namespace

void applyPop3Security(const Pop3Exports& pop3, const SecurityValues& v, const std::string& listDir) {
    if (!pop3.SetSecurity) return;
    // As the engine does: no Security key at all is the plain login without TLS.
    const bool unset = list::parseSecurity(v.security) == list::kSecurityUnset;
    const std::string ca = list::caFilePath(listDir, v.caFile);
    const int32_t bearer = list::parseAuth(v.auth) ? KOVA_BEARER_TOKEN : 0;
    pop3.SetSecurity(securityCode(v), ca.empty() ? nullptr : ca.c_str(),
                     (unset || v.allowPlainAuth ? KOVA_ALLOW_PLAIN_AUTH : 0) | bearer);
}

void applySmtpSecurity(const SmtpExports& smtp, const SecurityValues& v, const std::string& listDir,
                       const std::string& token) {
    if (!smtp.SetSecurity) return;
    const std::string ca = list::caFilePath(listDir, v.caFile);
    const bool bearer = list::parseAuth(v.auth);
    const std::string& secret = bearer ? token : v.password;
    smtp.SetSecurity(securityCode(v), ca.empty() ? nullptr : ca.c_str(), v.username.empty() ? nullptr : v.username.c_str(),
                     secret.empty() ? nullptr : secret.c_str(),
                     (v.allowPlainAuth ? KOVA_ALLOW_PLAIN_AUTH : 0) | (bearer ? KOVA_BEARER_TOKEN : 0));
}

TestOutcome RunPop3Test(const Pop3Exports& pop3, const std::string& server, const std::string& user,
                        const std::string& password) {
    // The library keeps one session for the whole process; a test given up
    // on may still be in it.
    static std::mutex session;
    std::lock_guard lock(session);
    const int32_t login = pop3.Login(server.c_str(), user.c_str(), password.c_str());
    if (login != 0) {
        pop3.Logout();
        return {testFailureMessage(login), DialogIcon::Error};
    }
    std::vector<char> ids(kBufferSize, '\0');
    const int32_t listed = pop3.GetMessageIDs(ids.data(), kBufferSize);
    if (listed < 0) {
        pop3.Logout();
        return {testFailureMessage(listed), DialogIcon::Error};
    }
    const int32_t logout = pop3.Logout();
    if (logout == 0) return success();
    return {testFailureMessage(logout), DialogIcon::Error};
}

TestOutcome RunSmtpTest(const SmtpExports& smtp, const std::string& server, const std::string& from,
                        const std::string& recipient) {
    std::vector<char> transcript(kBufferSize, '\0');
    const int32_t sent = smtp.SendEMail(server.c_str(), from.c_str(), recipient.c_str(), nullptr, kTestText,
                                        kTestText, static_cast<int32_t>(sizeof kTestText - 1), nullptr,
                                        transcript.data(), kBufferSize);
    if (sent == 0) return success();
    const std::string dialogue(transcript.data(), ::strnlen(transcript.data(), transcript.size()));
    QString text = testFailureMessage(sent);
    if (!dialogue.empty())
        text += QStringLiteral("\r\n\r\nAnd here's why:\r\n") + decodeStored(dialogue).text;
    return {text, DialogIcon::Error};
}
