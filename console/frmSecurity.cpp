#include "frmSecurity.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "Dialogs.h"
#include "list/ListSettings.h"
#include "oauth/OAuthSettings.h"
#include "platform/FileSystem.h"

namespace {

// The combo's entries and the values they store. "None" is stored as no
// value at all, so a plain list's file does not change.
const char* const kChoices[] = {"None", "TLS", "STARTTLS"};
const char* const kProviders[] = {"Microsoft", "Google", "Custom"};
const QString kOAuth = QStringLiteral("OAuth 2.0");

QString fromBytes(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string toBytes(const QString& s) { return s.trimmed().toLatin1().toStdString(); }

QLineEdit* field(QWidget* parent, const char* name, const std::string& value) {
    auto* f = new QLineEdit(fromBytes(value), parent);
    f->setObjectName(QString::fromLatin1(name));
    return f;
}

}  // namespace

QString securitySummary(const SecurityValues& v, bool smtp) {
    const QString mode = QString::fromStdString(v.security).trimmed().toUpper();
    QString text = mode.isEmpty() || mode == QStringLiteral("NONE") ? QStringLiteral("Plain text") : mode;
    if (!v.caFile.empty()) text += QStringLiteral(", own CA file");
    if (list::parseAuth(v.auth)) text += QStringLiteral(", ") + kOAuth;
    if (smtp && !v.username.empty()) text += QStringLiteral(", login as ") + fromBytes(v.username);
    return text;
}

frmSecurity::frmSecurity(bool smtp, const SecurityValues& values, const OAuthValues& oauth, std::string listDir,
                         std::string loginHint, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent),
      signIn(dialogs, this),
      smtp_(smtp),
      listDir_(std::move(listDir)),
      loginHint_(std::move(loginHint)),
      dialogs_(dialogs) {
    setWindowTitle(smtp ? QStringLiteral("SMTP Security") : QStringLiteral("POP3 Security"));
    auto* grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Connection:"), this), row, 0);
    cboSecurity = new QComboBox(this);
    cboSecurity->setObjectName(QStringLiteral("cboSecurity"));
    for (const char* c : kChoices) cboSecurity->addItem(QString::fromLatin1(c));
    const QString stored = QString::fromStdString(values.security).trimmed();
    if (!stored.isEmpty()) {
        int i = cboSecurity->findText(stored, Qt::MatchFixedString);
        if (i < 0) {
            // A value the engine does not know stays as written, so saving
            // never turns it into plain text.
            cboSecurity->addItem(stored);
            i = cboSecurity->count() - 1;
        }
        cboSecurity->setCurrentIndex(i);
    }
    grid->addWidget(cboSecurity, row++, 1, 1, 2);

    grid->addWidget(new QLabel(QStringLiteral("CA File:"), this), row, 0);
    txtCAFile = field(this, "txtCAFile", values.caFile);
    txtCAFile->setToolTip(QStringLiteral("Certificates (PEM) trusted besides the system's, for a private authority"));
    grid->addWidget(txtCAFile, row, 1);
    cmdBrowse = new QPushButton(QStringLiteral("Browse..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    grid->addWidget(cmdBrowse, row++, 2);
    chooseFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("CA File"), txtCAFile->text(),
                                            QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    };
    connect(cmdBrowse, &QPushButton::clicked, this, [this] {
        const QString f = chooseFile();
        if (!f.isEmpty()) txtCAFile->setText(f);
    });

    grid->addWidget(new QLabel(QStringLiteral("Sign in with:"), this), row, 0);
    cboAuth = new QComboBox(this);
    cboAuth->setObjectName(QStringLiteral("cboAuth"));
    cboAuth->addItems({QStringLiteral("Password"), kOAuth});
    cboAuth->setCurrentIndex(list::parseAuth(values.auth) ? 1 : 0);
    grid->addWidget(cboAuth, row++, 1, 1, 2);

    if (smtp) {
        grid->addWidget(new QLabel(QStringLiteral("Username:"), this), row, 0);
        txtUsername = field(this, "txtSMTPUsername", values.username);
        grid->addWidget(txtUsername, row++, 1, 1, 2);
        grid->addWidget(new QLabel(QStringLiteral("Password:"), this), row, 0);
        txtPassword = field(this, "txtSMTPPassword", values.password);
        txtPassword->setEchoMode(QLineEdit::Password);
        grid->addWidget(txtPassword, row++, 1, 1, 2);
        chkAllowPlainAuth = new QCheckBox(QStringLiteral("Allow the password without TLS"), this);
        chkAllowPlainAuth->setObjectName(QStringLiteral("chkAllowPlainAuth"));
        chkAllowPlainAuth->setChecked(values.allowPlainAuth);
        grid->addWidget(chkAllowPlainAuth, row++, 1, 1, 2);
    }

    grpOAuth = buildOAuthGroup(oauth);
    grid->addWidget(grpOAuth, row++, 0, 1, 3);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdOK->setDefault(true);
    grid->addWidget(cmdOK, row, 1);
    grid->addWidget(cmdCancel, row, 2);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cboAuth, &QComboBox::currentIndexChanged, this, &frmSecurity::showSignIn);
    connect(cboProvider, &QComboBox::currentIndexChanged, this, &frmSecurity::showSignIn);
    showSignIn();
    showAccount();
}

QGroupBox* frmSecurity::buildOAuthGroup(const OAuthValues& oauth) {
    auto* group = new QGroupBox(kOAuth + QStringLiteral(" (shared by POP3 and SMTP)"), this);
    group->setObjectName(QStringLiteral("grpOAuth"));
    auto* grid = new QGridLayout(group);
    int row = 0;
    const auto add = [&](const char* label, QWidget* w) {
        grid->addWidget(new QLabel(QString::fromLatin1(label), group), row, 0);
        grid->addWidget(w, row++, 1, 1, 3);
    };
    cboProvider = new QComboBox(group);
    cboProvider->setObjectName(QStringLiteral("cboProvider"));
    for (const char* p : kProviders) cboProvider->addItem(QString::fromLatin1(p));
    // Most lists with no provider yet are on Microsoft 365.
    cboProvider->setCurrentIndex(oauth.provider.empty() ? 0 : static_cast<int>(oauth::parseProvider(oauth.provider)));
    add("Provider:", cboProvider);
    add("Client ID:", txtClientId = field(group, "txtClientId", oauth.clientId));
    add("Client secret:", txtClientSecret = field(group, "txtClientSecret", oauth.clientSecret));
    txtClientSecret->setEchoMode(QLineEdit::Password);
    txtClientSecret->setPlaceholderText(QStringLiteral("only if the provider gave one"));
    add("Tenant:", txtTenant = field(group, "txtTenant", oauth.tenant));
    txtTenant->setPlaceholderText(QStringLiteral("common"));
    add("Scope:", txtScope = field(group, "txtScope", oauth.scope));
    add("Sign-in URL:", txtAuthorizeURL = field(group, "txtAuthorizeURL", oauth.authorizeUrl));
    add("Token URL:", txtTokenURL = field(group, "txtTokenURL", oauth.tokenUrl));
    add("Device URL:", txtDeviceURL = field(group, "txtDeviceURL", oauth.deviceUrl));
    add("CA File:", txtOAuthCAFile = field(group, "txtOAuthCAFile", oauth.caFile));
    lblAccount = new QLabel(group);
    lblAccount->setObjectName(QStringLiteral("lblAccount"));
    grid->addWidget(lblAccount, row++, 0, 1, 4);
    cmdSignIn = new QPushButton(QStringLiteral("Sign in..."), group);
    cmdSignIn->setObjectName(QStringLiteral("cmdSignIn"));
    cmdSignInWithCode = new QPushButton(QStringLiteral("Sign in with a code..."), group);
    cmdSignInWithCode->setObjectName(QStringLiteral("cmdSignInWithCode"));
    cmdSignOut = new QPushButton(QStringLiteral("Sign out"), group);
    cmdSignOut->setObjectName(QStringLiteral("cmdSignOut"));
    grid->addWidget(cmdSignIn, row, 1);
    grid->addWidget(cmdSignInWithCode, row, 2);
    grid->addWidget(cmdSignOut, row, 3);
    connect(cmdSignIn, &QPushButton::clicked, this, &frmSecurity::cmdSignIn_Click);
    connect(cmdSignInWithCode, &QPushButton::clicked, this, &frmSecurity::cmdSignInWithCode_Click);
    connect(cmdSignOut, &QPushButton::clicked, this, &frmSecurity::cmdSignOut_Click);
    return group;
}

void frmSecurity::showSignIn() {
    const bool oauth = cboAuth->currentIndex() == 1;
    grpOAuth->setEnabled(oauth);
    if (txtPassword) txtPassword->setEnabled(!oauth);
    if (chkAllowPlainAuth) chkAllowPlainAuth->setEnabled(!oauth);
    // The presets fill what is left empty; their values show as hints.
    const oauth::Settings preset = oauth::resolve(oauthValues(), listDir_);
    const auto hint = [](QLineEdit* f, const std::string& v) { f->setPlaceholderText(QString::fromStdString(v)); };
    oauth::Settings bare;
    bare.provider = preset.provider;
    bare.tenant = preset.tenant;
    const oauth::Settings filled = oauth::withPreset(bare);
    hint(txtScope, filled.scope);
    hint(txtAuthorizeURL, filled.authorizeUrl);
    hint(txtTokenURL, filled.tokenUrl);
    hint(txtDeviceURL, filled.deviceUrl);
    txtTenant->setEnabled(preset.provider == oauth::Provider::Microsoft);
    cmdSignInWithCode->setEnabled(!preset.deviceUrl.empty());
}

// The token file is read only here: choosing a provider or a mode does not change it.
void frmSecurity::showAccount() {
    QString state;
    cmdSignOut->setEnabled(readSignInState(listDir_, state));
    lblAccount->setText(state);
}

bool frmSecurity::listSaved() {
    if (platform::directoryExists(listDir_)) return true;
    dialogs_.message(this,
                     QStringLiteral("Save the list once before signing in: the sign-in is kept in the list's "
                                    "directory."),
                     QStringLiteral("Sign in"), DialogIcon::Information);
    return false;
}

std::string frmSecurity::loginHint() const { return txtUsername ? toBytes(txtUsername->text()) : loginHint_; }

void frmSecurity::cmdSignIn_Click() {
    if (listSaved()) signIn.withBrowser(oauthValues(), listDir_, loginHint());
    showAccount();
}

void frmSecurity::cmdSignInWithCode_Click() {
    if (listSaved()) signIn.withCode(oauthValues(), listDir_, loginHint());
    showAccount();
}

void frmSecurity::cmdSignOut_Click() {
    if (!dialogs_.question(this, QStringLiteral("Sign the list out? Its mail waits until someone signs in again."),
                           QStringLiteral("Sign out"), DialogIcon::Question))
        return;
    signIn.signOut(listDir_);
    showAccount();
}

SecurityValues frmSecurity::values() const {
    SecurityValues v;
    const QString mode = cboSecurity->currentText();
    v.security = mode == QStringLiteral("None") ? std::string() : toBytes(mode);
    v.caFile = toBytes(txtCAFile->text());
    v.auth = cboAuth->currentIndex() == 1 ? "OAuth2" : "";
    if (smtp_) {
        v.username = toBytes(txtUsername->text());
        v.password = txtPassword->text().toLatin1().toStdString();
        v.allowPlainAuth = chkAllowPlainAuth->isChecked();
    }
    return v;
}

OAuthValues frmSecurity::oauthValues() const {
    OAuthValues v;
    v.provider = toBytes(cboProvider->currentText());
    v.clientId = toBytes(txtClientId->text());
    v.clientSecret = toBytes(txtClientSecret->text());
    v.tenant = toBytes(txtTenant->text());
    v.scope = toBytes(txtScope->text());
    v.authorizeUrl = toBytes(txtAuthorizeURL->text());
    v.tokenUrl = toBytes(txtTokenURL->text());
    v.deviceUrl = toBytes(txtDeviceURL->text());
    v.caFile = toBytes(txtOAuthCAFile->text());
    return v;
}
