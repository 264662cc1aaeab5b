// The connection security settings in the list editor: read, shown, changed
// through the security dialog and written only when set; and the plain
// words for the new failures.
#include "ConnectionTests.h"
#include "FakeDialogs.h"
#include "SystemDirFixture.h"
#include "frmConfigure.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <memory>

class SecurityEditorTest : public QObject {
    Q_OBJECT
    SystemDirFixture sys_;
    std::unique_ptr<TempDir> home_;
    FakeDialogs dialogs_;

    std::unique_ptr<frmConfigure> open(const std::string& settings) {
        home_->mkdir("Tea");
        home_->write("Tea/Settings.INI", settings);
        home_->write("Tea/Members.TXT", "_!_boss@example.com\r\n");
        auto w = std::make_unique<frmConfigure>(dialogs_, home_->path());
        w->PopulateFormWith(QStringLiteral("Tea"));
        return w;
    }

private slots:
    void init() {
        home_ = std::make_unique<TempDir>();
        dialogs_ = FakeDialogs();
    }

    void plainListKeepsItsFileFreeOfSecurityKeys() {
        auto w = open("[General]\r\nName=Tea\r\n[POP3]\r\nServer=pop.example.com\r\n");
        QCOMPARE(w->lblPOP3Security->text(), QStringLiteral("Plain text"));
        QVERIFY(w->Save());
        const std::string saved = home_->read("Tea/Settings.INI");
        QVERIFY(saved.find("Security") == std::string::npos);
        QVERIFY(saved.find("CAFile") == std::string::npos);
        QVERIFY(saved.find("AllowPlainAuth") == std::string::npos);
        QVERIFY(saved.find("Auth=") == std::string::npos);
        QVERIFY(saved.find("[OAuth2]") == std::string::npos);
    }

    // The sign-in choice and the provider's presets shown as hints; the
    // [OAuth2] section follows the dialog that signs in with it.
    void oauthChoiceAndPresets() {
        auto w = open("[General]\r\nName=Tea\r\n[SMTP]\r\nSecurity=STARTTLS\r\nUsername=tea@example.com\r\n"
                      "Auth=OAuth2\r\n[OAuth2]\r\nProvider=Google\r\nClientId=abc\r\n");
        QCOMPARE(w->lblSMTPSecurity->text(), QStringLiteral("STARTTLS, OAuth 2.0, login as tea@example.com"));
        w->runSecurityDialog = [](frmSecurity& d) -> bool {
            if (d.txtUsername) return false;
            d.txtClientId->setText(QStringLiteral("ignored: the POP3 side signs in by password"));
            return true;
        };
        w->cmdPOP3Security_Click();
        QStringList seen;
        w->runSecurityDialog = [&seen](frmSecurity& d) -> bool {
            if (!d.txtUsername) return false;
            const auto state = [&] {
                seen << QStringLiteral("%1 %2 code:%3 out:%4 %5 | %6")
                            .arg(d.txtPassword->isEnabled() ? "password" : "token", d.cboProvider->currentText())
                            .arg(d.cmdSignInWithCode->isEnabled())
                            .arg(d.cmdSignOut->isEnabled())
                            .arg(d.lblAccount->text(), d.txtTokenURL->placeholderText());
            };
            state();
            d.cboProvider->setCurrentText(QStringLiteral("Microsoft"));
            state();
            d.txtTenant->setText(QStringLiteral("contoso.onmicrosoft.com"));
            return true;
        };
        w->cmdSMTPSecurity_Click();
        QVERIFY(w->Save());
        const std::string saved = home_->read("Tea/Settings.INI");
        for (const char* line : {"[SMTP]", "Auth=OAuth2\r\n", "[OAuth2]\r\nProvider=Microsoft\r\nClientId=abc\r\n",
                                 "Tenant=contoso.onmicrosoft.com\r\n"})
            QVERIFY2(saved.find(line) != std::string::npos, line);
        QVERIFY(saved.find("ignored") == std::string::npos);
        QVERIFY(saved.find("Scope") == std::string::npos);  // the preset's, not written
        // Google offers no device sign-in for its mail scope.
        QCOMPARE(seen, (QStringList{
                           QStringLiteral("token Google code:0 out:0 Not signed in | "
                                          "https://oauth2.googleapis.com/token"),
                           QStringLiteral("token Microsoft code:1 out:0 Not signed in | "
                                          "https://login.microsoftonline.com/common/oauth2/v2.0/token"),
                       }));
    }

    void providerSettingsRoundTripAndTheDialogChangesThem() {
        auto w = open("[General]\r\nName=Tea\r\n[POP3]\r\nSecurity=TLS\r\nCAFile=ca.pem\r\n"
                      "[SMTP]\r\nSecurity=STARTTLS\r\nUsername=tea\r\nPassword=pw\r\n");
        QCOMPARE(w->lblPOP3Security->text(), QStringLiteral("TLS, own CA file"));
        QCOMPARE(w->lblSMTPSecurity->text(), QStringLiteral("STARTTLS, login as tea"));

        // The SMTP side to implicit TLS with a CA file chosen by browsing.
        QString shownMode, shownPassword;
        w->runSecurityDialog = [&](frmSecurity& d) -> bool {
            if (!d.txtUsername) return false;
            shownMode = d.cboSecurity->currentText();
            shownPassword = d.txtPassword->text();
            d.cboSecurity->setCurrentText(QStringLiteral("TLS"));
            d.chooseFile = [] { return QStringLiteral("/etc/private-ca.pem"); };
            d.cmdBrowse->click();
            return true;
        };
        w->cmdSMTPSecurity_Click();
        QCOMPARE(shownMode, QStringLiteral("STARTTLS"));
        QCOMPARE(shownPassword, QStringLiteral("pw"));
        // The POP3 side back to plain: its keys are emptied, which reads as not set.
        w->runSecurityDialog = [](frmSecurity& d) -> bool {
            if (d.txtUsername) return false;
            d.cboSecurity->setCurrentText(QStringLiteral("None"));
            d.txtCAFile->clear();
            return true;
        };
        w->cmdPOP3Security_Click();
        QVERIFY(w->Save());
        const std::string saved = home_->read("Tea/Settings.INI");
        for (const char* line : {"[SMTP]", "Security=TLS\r\n", "CAFile=/etc/private-ca.pem\r\n", "Username=tea\r\n",
                                 "Password=pw\r\n"})
            QVERIFY2(saved.find(line) != std::string::npos, line);
        QVERIFY(saved.find("[POP3]\r\nSecurity=\r\nCAFile=\r\n") != std::string::npos);
        QVERIFY(saved.find("AllowPlainAuth") == std::string::npos);
    }

    void unknownSecurityValueSurvivesTheDialog() {
        auto w = open("[General]\r\nName=Tea\r\n[SMTP]\r\nSecurity=SSLv2\r\n");
        QString shown;
        w->runSecurityDialog = [&](frmSecurity& d) -> bool {
            shown = d.cboSecurity->currentText();
            return true;
        };
        w->cmdSMTPSecurity_Click();
        QCOMPARE(shown, QStringLiteral("SSLv2"));
        QCOMPARE(w->smtpSecurity.security, std::string("SSLv2"));
    }

    void newFailuresHaveTheirOwnWords() {
        QSet<QString> seen;
        for (int32_t code = -40; code >= -47; --code) {
            const QString text = testFailureMessage(code);
            QVERIFY2(!text.contains(QStringLiteral("error code")), qPrintable(text));
            QVERIFY(!seen.contains(text));
            seen.insert(text);
        }
        QVERIFY(securityFailureMessage(-17).isEmpty());
    }
};

QTEST_MAIN(SecurityEditorTest)
#include "SecurityEditorTest.moc"
