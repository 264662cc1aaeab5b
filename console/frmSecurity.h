// The connection security of a list's POP3 or SMTP side: how to connect
// (plain, TLS, STARTTLS), a CA file of extra trusted certificates and, for
// SMTP, the user name and password for authentication. Opened from the
// "Security..." button on the editor's POP3 and SMTP pages.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
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
};

// One line for the page: "Plain text", "TLS", "STARTTLS, own CA file", ...
QString securitySummary(const SecurityValues& v, bool smtp);

class frmSecurity : public QDialog {
    Q_OBJECT
public:
    frmSecurity(bool smtp, const SecurityValues& values, QWidget* parent = nullptr);

    // What the controls hold now.
    SecurityValues values() const;

    // Lets the user pick a CA file; tests replace it.
    std::function<QString()> chooseFile;

    QComboBox* cboSecurity;
    QLineEdit* txtCAFile;
    QPushButton* cmdBrowse;
    QLineEdit* txtUsername = nullptr;
    QLineEdit* txtPassword = nullptr;
    QCheckBox* chkAllowPlainAuth = nullptr;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    bool smtp_;
};
