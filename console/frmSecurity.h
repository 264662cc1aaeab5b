// The connection security of a list's POP3 or SMTP side: how to connect
// (plain, TLS, STARTTLS), a CA file of extra trusted certificates, how to
// sign in (a password, or an OAuth 2.0 token from the list's provider, with
// "Sign in..." and "Sign out") and, for SMTP, the user name and password
// for authentication. Opened from the "Security..." button on the editor's
// POP3 and SMTP pages.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "OAuthSignIn.h"

class Dialogs;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// As stored in Settings.INI; empty means the key is not set.
struct SecurityValues {
    std::string security;  // "", "None", "TLS", "STARTTLS" or whatever the file held
    std::string caFile;
    std::string username;  // SMTP only
    std::string password;  // SMTP only
    bool allowPlainAuth = false;
    std::string auth;  // "" (a password) or "OAuth2"
};

// One line for the page: "Plain text", "TLS", "STARTTLS, own CA file", ...
QString securitySummary(const SecurityValues& v, bool smtp);

class frmSecurity : public QDialog {
    Q_OBJECT
public:
    // `listDir`: where the list's sign-in is kept; `loginHint`: the account
    // the provider should propose (the POP3 user name on the POP3 side).
    frmSecurity(bool smtp, const SecurityValues& values, const OAuthValues& oauth, std::string listDir,
                std::string loginHint, Dialogs& dialogs, QWidget* parent = nullptr);

    // What the controls hold now.
    SecurityValues values() const;
    OAuthValues oauthValues() const;

    // Lets the user pick a CA file; tests replace it.
    std::function<QString()> chooseFile;
    // The sign-in itself; tests replace how it opens the browser.
    OAuthSignIn signIn;

    QComboBox* cboSecurity;
    QLineEdit* txtCAFile;
    QPushButton* cmdBrowse;
    QLineEdit* txtUsername = nullptr;
    QLineEdit* txtPassword = nullptr;
    QCheckBox* chkAllowPlainAuth = nullptr;
    QComboBox* cboAuth;
    QGroupBox* grpOAuth;
    QComboBox* cboProvider;
    QLineEdit* txtClientId;
    QLineEdit* txtClientSecret;
    QLineEdit* txtTenant;
    QLineEdit* txtScope;
    QLineEdit* txtAuthorizeURL;
    QLineEdit* txtTokenURL;
    QLineEdit* txtDeviceURL;
    QLineEdit* txtOAuthCAFile;
    QLabel* lblAccount;
    QPushButton* cmdSignIn;
    QPushButton* cmdSignInWithCode;
    QPushButton* cmdSignOut;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void cmdSignIn_Click();
    void cmdSignInWithCode_Click();
    void cmdSignOut_Click();

private:
    QGroupBox* buildOAuthGroup(const OAuthValues& oauth);
    // Shows what the chosen sign-in and provider need.
    void showSignIn();
    // Shows who is signed in.
    void showAccount();
    bool listSaved();
    std::string loginHint() const;
    bool smtp_;
    std::string listDir_;
    std::string loginHint_;
    Dialogs& dialogs_;
};
