// The list editor's window: its pages brought forward, its buttons, and the
// POP3 and SMTP pages' connection tests and security dialogs.
#include "frmConfigure.h"

#include "BusyCall.h"
#include "ConnectionTests.h"
#include "Dialogs.h"
#include "GradientPanel.h"
#include "basRingpostCfg.h"
#include "frmConfigureCommon.h"
#include "frmHelp.h"
#include "list/ListSettings.h"
#include "platform/FileSystem.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <cmath>
#include <memory>
#include <optional>

using namespace editor;

namespace {

constexpr double kOutOfSightTwips = -20000;

// A side signing in by OAuth needs an access token before the test: false,
// with the failure told in `outcome`, when none can be had.
bool testToken(const SecurityValues& security, const OAuthValues& oauth, const std::string& dir, std::string& token,
               TestOutcome& outcome) {
    if (!list::parseAuth(security.auth)) return true;
    QString why;
    const int32_t code = testAccessToken(oauth, dir, token, why);
    if (code == 0) return true;
    QString text = signInFailureMessage(code);
    if (text.isEmpty()) text = testFailureMessage(code);
    outcome = {QStringLiteral("Test failed: ") + text + (why.isEmpty() ? QString() : QStringLiteral(" (") + why + ')'),
               DialogIcon::Error};
    return false;
}

}  // namespace

frmConfigure::frmConfigure(Dialogs& dialogs, std::string homeDir, QWidget* parent)
    : QDialog(parent), libraries(withSlash(homeDir)), dialogs_(dialogs), homeDir_(withSlash(homeDir)) {
    buildControls();
    showHelp = [this](int topic) {
        frmHelp help(dialogs_, homeDir_, this);
        help.DisplayHelp(topic);
    };
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
    selectPage(0);
}

frmConfigure::~frmConfigure() = default;

void frmConfigure::layOutPageButtons() {
    const int width = (this->width() - 10) / 5;
    for (int i = 0; i < 5; ++i) optOptions[i]->setGeometry(5 + i * width, kPageButtonTop, width, kPageButtonHeight);
}

void frmConfigure::selectPage(int index) {
    if (index < 0 || index > 4) return;
    page_ = index;
    const int outOfSight = static_cast<int>(std::lround(kOutOfSightTwips / twipsPerPixelX()));
    for (int i = 0; i < 5; ++i) {
        if (i == index) {
            picOptions[i]->setGeometry(5, kPageTop, kPageWidth, kPageHeight);
            picOptions[i]->setEnabled(true);
            picOptions[i]->update();
        } else {
            picOptions[i]->move(outOfSight, kPageTop);
            picOptions[i]->setEnabled(false);
        }
    }
    optOptions[index]->setChecked(true);
    fitTextColours(this);
}

std::string frmConfigure::listDirectory(const std::string& name) const {
    // Another letter case of the same name counts as the same list, so two
    // lists never differ in letter case alone.
    return withSlash(platform::resolveName(homeDir_, name));
}

void frmConfigure::upperCaseField(QLineEdit* field) {
    const QString text = field->text();
    QString upper = text;
    for (QChar& c : upper)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
    if (upper != text) field->setText(upper);
}

bool frmConfigure::refuse(const QString& text, int page, QWidget* focus) {
    dialogs_.message(this, text, QString(), DialogIcon::Error);
    selectPage(page);
    focus->setFocus();
    return false;
}

bool frmConfigure::confirm(const QString& text, int page, QWidget* focus) {
    if (dialogs_.question(this, text, QString(), DialogIcon::Question)) return true;
    selectPage(page);
    focus->setFocus();
    return false;
}

void frmConfigure::cmdOK_Click() {
    if (Save()) accept();
}

void frmConfigure::cmdCancel_Click() { reject(); }

void frmConfigure::cmdHelp_Click() {
    if (showHelp) showHelp(page_ + 2);
}

void frmConfigure::cmdTestPOP3_Click() {
    std::string error;
    const Pop3Exports* pop3 = libraries.pop3(error);
    if (!pop3) {
        dialogs_.message(this, QString::fromStdString(error), QStringLiteral("Test POP3"), DialogIcon::Error);
        return;
    }
    // The call runs off this thread and may outlive a cancelled box: it owns copies.
    auto outcome = std::make_shared<TestOutcome>();
    const auto call = [outcome, exports = *pop3, server = fieldBytes(txtPOP3Server),
                       user = fieldBytes(txtPOP3Username), password = fieldBytes(txtPOP3Password),
                       security = pop3Security, oauth = oauthValues, dir = signInDirectory()] {
        std::string token;
        if (!testToken(security, oauth, dir, token, *outcome)) return;
        applyPop3Security(exports, security, dir);
        *outcome = RunPop3Test(exports, server, user, list::parseAuth(security.auth) ? token : password);
        applyPop3Security(exports, {}, {});
    };
    if (!runWhileBusy(this, QStringLiteral("Test POP3"), QStringLiteral("Testing the POP3 server..."), call,
                      pop3->Cancel))
        return;
    dialogs_.message(this, outcome->text, QString(), outcome->icon);
}

void frmConfigure::cmdTestSMTP_Click() {
    std::string error;
    const SmtpExports* smtp = libraries.smtp(error);
    if (!smtp) {
        dialogs_.message(this, QString::fromStdString(error), QStringLiteral("Test SMTP"), DialogIcon::Error);
        return;
    }
    const std::optional<QString> recipient =
        dialogs_.input(this, QStringLiteral("Test E-Mail address to send to?"), QStringLiteral("Test SMTP"), QString());
    if (!recipient) return;
    auto outcome = std::make_shared<TestOutcome>();
    // The library keeps the security per thread: set where the test runs.
    const auto call = [outcome, exports = *smtp, server = fieldBytes(txtSMTPServer), from = fieldBytes(txtSMTPFrom),
                       to = recipient->toStdString(), security = smtpSecurity, oauth = oauthValues,
                       dir = signInDirectory()] {
        std::string token;
        if (!testToken(security, oauth, dir, token, *outcome)) return;
        applySmtpSecurity(exports, security, dir, token);
        *outcome = RunSmtpTest(exports, server, from, to);
        applySmtpSecurity(exports, {}, {});
    };
    if (!runWhileBusy(this, QStringLiteral("Test SMTP"), QStringLiteral("Sending the test message..."), call,
                      smtp->Cancel))
        return;
    dialogs_.message(this, outcome->text, QString(), outcome->icon);
}

void frmConfigure::showSecurity() {
    lblPOP3Security->setText(securitySummary(pop3Security, false));
    lblSMTPSecurity->setText(securitySummary(smtpSecurity, true));
}

std::string frmConfigure::signInDirectory() const {
    return openedDir_.empty() ? listDirectory(trimmed(txtName)) : withSlash(homeDir_ + openedDir_);
}

bool frmConfigure::editSecurity(bool smtp, SecurityValues& values) {
    frmSecurity dialog(smtp, values, oauthValues, signInDirectory(), fieldBytes(txtPOP3Username), dialogs_, this);
    if (prepareSecurityDialog) prepareSecurityDialog(dialog);
    if (!runSecurityDialog(dialog)) return false;
    const SecurityValues v = dialog.values();
    values.security = v.security;
    values.caFile = v.caFile;
    values.auth = v.auth;
    if (smtp) {
        values.username = v.username;
        values.password = v.password;
        values.allowPlainAuth = v.allowPlainAuth;
    }
    // The shared section follows a dialog that signs in with it.
    if (list::parseAuth(v.auth)) oauthValues = dialog.oauthValues();
    showSecurity();
    return true;
}

void frmConfigure::cmdPOP3Security_Click() { editSecurity(false, pop3Security); }

void frmConfigure::cmdSMTPSecurity_Click() { editSecurity(true, smtpSecurity); }

void frmConfigure::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    paintGradient(this, p, event->rect());
}

void frmConfigure::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layOutPageButtons();
    fitTextColours(this);
    update();
}
