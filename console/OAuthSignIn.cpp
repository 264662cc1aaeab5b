#include "OAuthSignIn.h"

#include <QDesktopServices>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "BusyCall.h"
#include "Dialogs.h"
#include "list/ListSettings.h"
#include "oauth/AccessTokenCache.h"
#include "oauth/SignInFlows.h"
#include "oauth/TokenFile.h"
#include "platform/FileSystem.h"
#include "transport/KOVAMail.h"

namespace {

const QString kTitle = QStringLiteral("Sign in");
// A cancelled wait notices within this.
constexpr int kCancelStepMs = 100;

QString fromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

bool readSignInState(const std::string& listDir, QString& state) {
    oauth::TokenRecord r;
    if (!oauth::readTokenFile(listDir, r)) {
        state = QStringLiteral("Not signed in");
        return false;
    }
    state = r.account.empty() ? QStringLiteral("Signed in") : QStringLiteral("Signed in as ") + fromBytes(r.account);
    return true;
}

QString signInFailureMessage(int32_t code) {
    switch (code) {
        case KOVA_OAUTH_SIGN_IN_AGAIN:
            return QStringLiteral(
                "The list is not signed in at its provider, or the provider no longer accepts the "
                "sign-in. Sign in again under Security.");
        case KOVA_OAUTH_ENDPOINT_FAILED:
            return QStringLiteral(
                "The provider's token address could not be reached or did not answer as expected. "
                "Check the OAuth 2.0 settings under Security and the network.");
        default: return {};
    }
}

int32_t testAccessToken(const OAuthValues& v, const std::string& listDir, std::string& token, QString& why) {
    oauth::AccessTokenCache cache;
    std::string reason;
    const int32_t code = cache.accessToken(oauth::resolve(v, listDir), listDir, false, token, &reason);
    if (code != KOVA_SUCCESS) why = fromBytes(reason);
    return code;
}

bool OAuthSignIn::finish(int32_t code, const std::string& why) {
    if (code == KOVA_SUCCESS) return true;
    QString text = QStringLiteral("The sign-in failed: ") + fromBytes(why);
    if (const QString more = signInFailureMessage(code); !more.isEmpty() && code != KOVA_OAUTH_SIGN_IN_AGAIN)
        text += QStringLiteral("\r\n\r\n") + more;
    dialogs_.message(owner_, text, kTitle, DialogIcon::Error);
    return false;
}

bool OAuthSignIn::withBrowser(const OAuthValues& v, const std::string& listDir, const std::string& loginHint) {
    const oauth::Settings s = oauth::resolve(v, listDir);
    if (s.authorizeUrl.empty() || s.tokenUrl.empty() || s.clientId.empty())
        return finish(KOVA_INVALID_PARAMETER, "the provider, its client ID and its addresses must be set");
    auto redirect = std::make_shared<oauth::LoopbackRedirect>();
    std::string why;
    if (!redirect->listen(&why)) return finish(KOVA_PORT_NOT_OPENED, "no loopback port to listen on: " + why);
    const oauth::AuthorizationRequest request = oauth::makeAuthorizationRequest(s, redirect->redirectUri(), loginHint);
    const QUrl url(QString::fromStdString(request.url));
    const bool opened = openBrowser ? openBrowser(url) : QDesktopServices::openUrl(url);
    if (!opened)
        return finish(KOVA_INVALID_PARAMETER, "no browser could be opened; use \"Sign in with a code...\"");
    auto answer = std::make_shared<oauth::TokenAnswer>();
    const bool done = runWhileBusy(
        owner_, kTitle, QStringLiteral("Sign in in the browser window that opened..."),
        [answer, redirect, s, request, listDir, loginHint, wait = browserWaitMs] {
            *answer = oauth::finishCodeFlow(s, request, *redirect, wait, listDir, loginHint);
        },
        [redirect] { redirect->stop(); });  // the waiting thread ends at once
    // A call given up on may still be writing its answer: not read then.
    return done && finish(answer->code, answer->why);
}

bool OAuthSignIn::withCode(const OAuthValues& v, const std::string& listDir, const std::string& loginHint) {
    const oauth::Settings s = oauth::resolve(v, listDir);
    auto device = std::make_shared<oauth::DeviceAuthorization>();
    if (!runWhileBusy(owner_, kTitle, QStringLiteral("Asking the provider for a code..."),
                      [device, s] { *device = oauth::startDeviceAuthorization(s); }))
        return false;
    if (device->code != KOVA_SUCCESS) return finish(device->code, device->why);
    if (codeShown) codeShown(*device);
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    auto answer = std::make_shared<oauth::TokenAnswer>();
    const QString text = QStringLiteral("On any device, open\n%1\nand enter the code\n%2\nWaiting for the sign-in...")
                             .arg(fromBytes(device->verificationUri), fromBytes(device->userCode));
    const bool done = runWhileBusy(
        owner_, kTitle, text,
        [answer, device, cancelled, s, listDir, loginHint] {
            const auto wait = [cancelled](int ms) {
                for (int waited = 0; waited < ms && !*cancelled; waited += kCancelStepMs)
                    std::this_thread::sleep_for(std::chrono::milliseconds(kCancelStepMs));
                return !*cancelled;
            };
            *answer = oauth::finishDeviceFlow(s, *device, wait, listDir, loginHint);
        },
        [cancelled] { *cancelled = true; });
    return done && finish(answer->code, answer->why);
}

bool OAuthSignIn::signOut(const std::string& listDir) {
    if (oauth::removeTokenFile(listDir)) return true;
    dialogs_.message(owner_, QStringLiteral("OAuth2.TOK could not be deleted."), kTitle, DialogIcon::Error);
    return false;
}
