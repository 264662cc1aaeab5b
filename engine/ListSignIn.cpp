#include "ListSignIn.h"

#include <cstdio>
#include <string>

#include "EventLogging.h"
#include "ListSecurity.h"
#include "MailSending.h"
#include "list/ListSettings.h"
#include "transport/KOVAMail.h"

namespace {

// The event log's message for an informational id carries one text.
constexpr uint32_t kSingleTextEventId = 0x40000000;

// A token goes over TLS only; a side asked to send it in clear is refused
// by its library before anything goes out, so no token is needed for it.
bool overTls(int32_t security) { return security != list::kSecurityUnset && security != KOVA_SECURITY_NONE; }

bool needsToken(const MailList& list) {
    return (list.pop3OAuth && overTls(list.pop3Security)) || (list.smtpOAuth && overTls(list.smtpSecurity));
}

int32_t fetchToken(MailList& list, bool renew) {
    std::string why;
    const int32_t code = list.tokens->accessToken(list.oauth, list.directory, renew, list.accessToken, &why);
    if (code == 0) {
        list.signInReported = false;
        return 0;
    }
    list.signInFailure = code;
    list.accessToken.clear();
    if (list.smtpOAuth) MarkServerDown(list.smtpServer, code);
    // Once until someone signs in again, not at every pass.
    if (code == KOVA_OAUTH_SIGN_IN_AGAIN && !list.signInReported) {
        list.signInReported = true;
        LogEvent(kSingleTextEventId, 0,
                 "The list " + list.name + " cannot sign in to its mail provider (" + why +
                     "): sign in again in the console. Its mail waits until then.",
                 EVENTLOG_ERROR_TYPE);
    }
    return code;
}

}  // namespace

int32_t PrepareListSignIn(MailList& list) {
    list.signInFailure = 0;
    list.tokenRenewed = false;
    list.accessToken.clear();
    int32_t code = 0;
    if (needsToken(list)) {
        std::printf("  Getting an access token...");
        std::fflush(stdout);
        code = fetchToken(list, false);
        if (code == 0)
            std::printf("Success\n");
        else
            std::printf("FAILURE %ld\n", static_cast<long>(code));
    }
    ApplyListSecurity(list);
    return code;
}

int32_t RenewListSignIn(MailList& list) {
    if (!list.pop3OAuth && !list.smtpOAuth) return KOVA_AUTH_REFUSED;
    if (list.signInFailure != 0) return list.signInFailure;
    if (list.tokenRenewed) return KOVA_AUTH_REFUSED;
    list.tokenRenewed = true;
    const int32_t code = fetchToken(list, true);
    ApplyListSecurity(list);
    return code;
}
