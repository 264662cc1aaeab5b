// Signing a list in at its OAuth 2.0 provider from the console: in the
// system browser with the answer coming back to a loopback address, or with
// a code entered on another machine's browser; signing out; and the access
// token the connection tests use. The waits run off the window's thread
// behind a busy box whose Cancel ends them at once.
#pragma once

#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <string>

#include "oauth/OAuthSettings.h"
#include "oauth/SignInRequest.h"

class Dialogs;
class QWidget;

// The [OAuth2] keys as stored; empty means not set.
using OAuthValues = oauth::StoredSettings;

// Whether the list in `listDir` is signed in; `state` says "Signed in as ..."
// or "Not signed in".
bool readSignInState(const std::string& listDir, QString& state);

// An access token for a connection test, or the failure code (-48, -49,
// -20) with its words in `why`.
int32_t testAccessToken(const OAuthValues& v, const std::string& listDir, std::string& token, QString& why);

// The words for the sign-in failures, for the connection tests too; empty for other codes.
QString signInFailureMessage(int32_t code);

class OAuthSignIn {
public:
    OAuthSignIn(Dialogs& dialogs, QWidget* owner) : dialogs_(dialogs), owner_(owner) {}

    // True when the list is signed in now (OAuth2.TOK written); failures
    // and a cancelled sign-in are told to the user.
    bool withBrowser(const OAuthValues& v, const std::string& listDir, const std::string& loginHint);
    bool withCode(const OAuthValues& v, const std::string& listDir, const std::string& loginHint);
    // Deletes OAuth2.TOK; true when none is left.
    bool signOut(const std::string& listDir);

    // Opens the provider's page; the system browser unless a test replaces it.
    std::function<bool(const QUrl&)> openBrowser;
    // Told the code and address the person is to use; tests replace it to play that person.
    std::function<void(const oauth::DeviceAuthorization&)> codeShown;
    // How long the browser sign-in waits for the answer.
    uint32_t browserWaitMs = 10 * 60 * 1000;

private:
    // True on success; tells the user a failure.
    bool finish(int32_t code, const std::string& why);
    Dialogs& dialogs_;
    QWidget* owner_;
};
