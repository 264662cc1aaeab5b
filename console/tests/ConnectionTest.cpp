// "Test POP3" and "Test SMTP" against a real Dovecot and SMTP sink on
// loopback, and the messages for every result code.
#include "BusyCall.h"
#include "ConnectionTests.h"
#include "FakeDialogs.h"
#include "SystemDirFixture.h"
#include "frmConfigure.h"
#include "harness/DovecotServer.h"
#include "harness/MailSystem.h"
#include "oauth/TokenFile.h"
#include "platform/ChildProcess.h"
#include "harness/ScriptedServer.h"
#include "harness/SmtpSink.h"
#include "platform/SharedLibrary.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

const QString kSuccess = QStringLiteral("Test successful!");
const QString kIncorrect = QStringLiteral(
    "Test failed due to an incorrect response. Usually this is caused by the mail server, an incorrect password, or "
    "an incorrect username.");

}  // namespace

class ConnectionTest : public QObject {
    Q_OBJECT
    SystemDirFixture sys_;
    TempDir home_;
    FakeDialogs dialogs_;
    harness::DovecotServer pop3_{"127.0.7.1"};
    harness::SmtpSink smtp_{harness::SmtpSink::Kind::Python, "127.0.7.2"};

    std::unique_ptr<frmConfigure> open() {
        auto w = std::make_unique<frmConfigure>(dialogs_, home_.path());
        w->show();
        return w;
    }

    void expectMessage(const QString& text, DialogIcon icon) {
        QVERIFY(dialogs_.last());
        QCOMPARE(dialogs_.last()->kind, QStringLiteral("message"));
        QCOMPARE(dialogs_.last()->text, text);
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Configure KOVA(tm) Ringpost"));
        QCOMPARE(dialogs_.last()->icon, icon);
    }

private slots:
    void initTestCase() {
        // Beside the console, as installed.
        for (const char* f : {"libKOVAPOP3.so", "libKOVASMTP.so"})
            fs::copy_file(std::string(RINGPOST_HOME_DIR) + f, home_.file(f));
        std::string error;
        pop3_.addUser("jokes", "secret");
        pop3_.addUser("busy", "secret");
        QVERIFY2(pop3_.start(&error), error.c_str());
        QVERIFY2(smtp_.start(&error), error.c_str());
    }
    void init() { dialogs_ = FakeDialogs(); }
    void cleanup() { QCOMPARE(dialogs_.unexpectedQuestions, 0); }

    void failureMessages() {
        const std::vector<std::pair<int32_t, QString>> table = {
            {-3, "Test failed because a port was unable to be opened. Please report this error to KOVA."},
            {-11, "Test failed because a reader or writer thread was unable to be created. Please report this error "
                  "to KOVA."},
            {-14, "Test failed because out of memory. Please report this error to KOVA."},
            {-17, kIncorrect},
            {-18, "Test failed because a response took too long, or the mail server is not responding. Usually this "
                  "is caused by the mail server."},
            {-20, "Test failed because of an invalid parameter."},
            {-21, "Test failed because of an invalid NULL pointer."},
            {-23, "Test failed because the file was unable to be opened. Please make sure the file exists."},
            {-26, "Test failed because of a write error. Please report this error to KOVA."},
            {-25, "Test failed with error code -25. Please report this error to KOVA."},
            {7, "Test failed with error code 7. Please report this error to KOVA."},
        };
        for (const auto& [code, text] : table) QCOMPARE(testFailureMessage(code), text);
    }

    void pop3Success() {
        auto w = open();
        w->txtPOP3Server->setText(QString::fromStdString(pop3_.server()));
        w->txtPOP3Username->setText(QStringLiteral("jokes"));
        w->txtPOP3Password->setText(QStringLiteral("secret"));
        w->cmdTestPOP3_Click();  // an empty mailbox passes
        expectMessage(kSuccess, DialogIcon::Information);

        pop3_.injectMessage("busy", "From: a@example.com\r\nSubject: hi\r\n\r\nbody\r\n");
        w->txtPOP3Username->setText(QStringLiteral("busy"));
        w->selectPage(1);
        w->cmdTestPOP3->click();
        expectMessage(kSuccess, DialogIcon::Information);
        QCOMPARE(pop3_.listMaildir("busy").size(), size_t(1));  // the test takes nothing away
        QCOMPARE(dialogs_.count("message"), 2);
    }

    void pop3Failures() {
        auto w = open();
        w->txtPOP3Server->setText(QString::fromStdString(pop3_.server()));
        w->txtPOP3Username->setText(QStringLiteral("jokes"));
        w->txtPOP3Password->setText(QStringLiteral("wrong"));
        w->cmdTestPOP3_Click();
        // Dovecot marks the refusal as one of the credentials (RFC 3206).
        expectMessage(testFailureMessage(-44), DialogIcon::Error);

        // The fields are used exactly as typed: a blank after the password is part of it.
        w->txtPOP3Password->setText(QStringLiteral("secret "));
        w->cmdTestPOP3_Click();
        expectMessage(testFailureMessage(-44), DialogIcon::Error);

        w->txtPOP3Server->setText(QStringLiteral("127.0.7.3:1"));
        w->txtPOP3Password->setText(QStringLiteral("secret"));
        w->cmdTestPOP3_Click();
        expectMessage(testFailureMessage(-3), DialogIcon::Error);

        // After failures the library's session is closed: a good login works.
        w->txtPOP3Server->setText(QString::fromStdString(pop3_.server()));
        w->cmdTestPOP3_Click();
        expectMessage(kSuccess, DialogIcon::Information);
    }

    void smtpSuccess() {
        auto w = open();
        w->txtSMTPServer->setText(QString::fromStdString(smtp_.server()));
        w->txtSMTPFrom->setText(QStringLiteral("jokes@example.com"));
        dialogs_.inputs = {QStringLiteral("reader@example.com")};
        const size_t before = smtp_.messages().size();
        w->cmdTestSMTP_Click();
        QCOMPARE(dialogs_.shown.front().kind, QStringLiteral("input"));
        QCOMPARE(dialogs_.shown.front().text, QStringLiteral("Test E-Mail address to send to?"));
        QCOMPARE(dialogs_.shown.front().title, QStringLiteral("Test SMTP"));
        expectMessage(kSuccess, DialogIcon::Information);
        const auto messages = smtp_.messages();
        QCOMPARE(messages.size(), before + 1);
        const harness::SunkMessage& m = messages.back();
        QCOMPARE(QString::fromStdString(m.mailFrom), QStringLiteral("jokes@example.com"));
        QCOMPARE(m.rcptTos, std::vector<std::string>{"reader@example.com"});
        QVERIFY(m.data.find("Subject: KOVA(tm) Ringpost Test Message") != std::string::npos);
        QVERIFY(m.data.find("\r\n\r\nKOVA(tm) Ringpost Test Message") != std::string::npos);
    }

    void smtpFailures() {
        auto w = open();
        w->txtSMTPServer->setText(QString::fromStdString(smtp_.server()));
        w->txtSMTPFrom->setText(QStringLiteral("jokes@example.com"));
        dialogs_.inputs = {QStringLiteral("refused@example.com")};
        w->cmdTestSMTP_Click();
        const QString why = QStringLiteral("\r\n\r\nAnd here's why:\r\n");
        QVERIFY(dialogs_.last());
        const QString text = dialogs_.last()->text;
        QVERIFY2(text.startsWith(kIncorrect + why), qPrintable(text));
        const QString dialogue = text.mid(kIncorrect.size() + why.size());
        QVERIFY2(dialogue.contains(QStringLiteral("refused@example.com")), qPrintable(dialogue));
        QVERIFY2(dialogue.contains(QStringLiteral("550")), qPrintable(dialogue));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);

        // A sender without a domain.
        w->txtSMTPFrom->setText(QStringLiteral("jokes"));
        dialogs_.inputs = {QStringLiteral("reader@example.com")};
        w->cmdTestSMTP_Click();
        QVERIFY2(dialogs_.last()->text.startsWith(testFailureMessage(-20)), qPrintable(dialogs_.last()->text));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);

        // Nothing listening.
        w->txtSMTPServer->setText(QStringLiteral("127.0.7.3:1"));
        w->txtSMTPFrom->setText(QStringLiteral("jokes@example.com"));
        dialogs_.inputs = {QStringLiteral("reader@example.com")};
        w->cmdTestSMTP_Click();
        QVERIFY2(dialogs_.last()->text.startsWith(testFailureMessage(-3)), qPrintable(dialogs_.last()->text));

        // Cancel in the input box ends the test: nothing sent, nothing said.
        w->txtSMTPServer->setText(QString::fromStdString(smtp_.server()));
        dialogs_.clear();
        const size_t before = smtp_.messages().size();
        dialogs_.inputs = {std::nullopt};
        w->cmdTestSMTP_Click();
        QCOMPARE(dialogs_.shown.size(), size_t(1));
        QCOMPARE(dialogs_.last()->kind, QStringLiteral("input"));
        QCOMPARE(smtp_.messages().size(), before);
        // An empty address typed and confirmed is still tried.
        dialogs_.inputs = {QString()};
        w->cmdTestSMTP_Click();
        QCOMPARE(dialogs_.last()->kind, QStringLiteral("message"));
    }

    void missingLibraryChangesNothing() {
        auto w = open();
        w->libraries = MailLibraries(home_.path(), "libNoSuchPOP3.so", "libNoSuchSMTP.so");
        w->cmdTestPOP3_Click();
        QCOMPARE(dialogs_.shown.size(), size_t(1));
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Test POP3"));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);
        QVERIFY2(dialogs_.last()->text.startsWith(QStringLiteral("The mail library libNoSuchPOP3.so could not be loaded: ")),
                 qPrintable(dialogs_.last()->text));
        w->cmdTestSMTP_Click();  // no question for a recipient either
        QCOMPARE(dialogs_.shown.size(), size_t(2));
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Test SMTP"));
        QCOMPARE(std::distance(fs::directory_iterator(home_.path()), fs::directory_iterator()), 2);
    }

    // Cancel breaks the connection off within a second, so nothing waits for the server.
    void silentServerLeavesTheWindowResponsiveAndCancelEndsTheTest() {
        using Step = harness::ScriptedServer;
        struct Row {
            const char* name;
            void (frmConfigure::*click)();
            QLineEdit* frmConfigure::*server;
        };
        const std::vector<Row> rows = {{"POP3", &frmConfigure::cmdTestPOP3_Click, &frmConfigure::txtPOP3Server},
                                       {"SMTP", &frmConfigure::cmdTestSMTP_Click, &frmConfigure::txtSMTPServer}};
        for (const Row& row : rows) {
            dialogs_ = FakeDialogs();
            dialogs_.inputs = {QStringLiteral("reader@example.com")};
            // Accepts and says nothing until the client hangs up.
            harness::ScriptedServer silent("127.0.7.5");
            std::string error;
            QVERIFY2(silent.start({Step::waitForClose()}, &error), error.c_str());
            auto w = open();
            (w.get()->*row.server)->setText(QString::fromStdString(silent.server()));

            int ticks = 0;
            QTimer ticker;
            connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
            ticker.start(10);
            int ticksAtBox = -1;
            qint64 cancelledAt = -1;
            QString boxTitle;
            QElapsedTimer clock;
            QTimer finder;
            connect(&finder, &QTimer::timeout, [&] {
                auto* box = w->findChild<QDialog*>(QStringLiteral("dlgBusy"));
                if (!box || !box->isVisible()) return;
                if (ticksAtBox < 0) ticksAtBox = ticks;
                if (ticks < ticksAtBox + 20) return;  // the window goes on handling events
                boxTitle = box->windowTitle();
                finder.stop();
                cancelledAt = clock.elapsed();
                box->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
            });
            finder.start(10);
            clock.start();
            (w.get()->*row.click)();
            const qint64 returnedAt = clock.elapsed();

            QVERIFY2(cancelledAt >= 0, row.name);
            QCOMPARE(boxTitle, QStringLiteral("Test ") + QLatin1String(row.name));
            QVERIFY2(returnedAt - cancelledAt < 1000, row.name);
            QVERIFY2(ticks >= ticksAtBox + 20, row.name);
            QCOMPARE(dialogs_.count("message"), 0);  // no result for a cancelled test
            QVERIFY2(silent.finish(1000), row.name);  // the connection is closed
            QTRY_VERIFY_WITH_TIMEOUT(callsStillRunning() == 0, 1000);
        }
        // The session is free again.
        auto w = open();
        w->txtPOP3Server->setText(QString::fromStdString(pop3_.server()));
        w->txtPOP3Username->setText(QStringLiteral("jokes"));
        w->txtPOP3Password->setText(QStringLiteral("secret"));
        w->cmdTestPOP3_Click();
        expectMessage(kSuccess, DialogIcon::Information);
    }

    // Signing a list in at a local authorization server, with the browser
    // and with a code, played by a script; then both tests by token, and
    // signing out.
    void oauthSignInBothWaysThenTestBothSides() {
        harness::MailSystem mail;
        std::string error;
        QVERIFY2(mail.start("127.0.27.20", {"list", "ann"}, &error, true), error.c_str());
        const std::string ca = mail.caFile();
        home_.mkdir("Tokens");
        home_.write("Tokens/Settings.INI",
                    "[General]\r\nName=Tokens\r\n[POP3]\r\nServer=127.0.27.20\r\nUsername=list\r\nSecurity=TLS\r\n"
                    "CAFile=" + ca + "\r\nAuth=OAuth2\r\n[SMTP]\r\nServer=127.0.27.20\r\nFrom=list@example.org\r\n"
                    "Security=STARTTLS\r\nCAFile=" + ca + "\r\nUsername=list\r\nAuth=OAuth2\r\n[OAuth2]\r\n"
                    "Provider=Custom\r\nClientId=ringpost\r\nScope=mail offline_access\r\nAuthorizeURL=" +
                        mail.issuer() + "/auth\r\nTokenURL=" + mail.issuer() + "/token\r\nDeviceURL=" + mail.issuer() +
                        "/device/auth\r\nCAFile=" + ca + "\r\n");
        home_.write("Tokens/Members.TXT", "_!_ann@example.org\r\n");
        auto w = std::make_unique<frmConfigure>(dialogs_, home_.path());
        w->PopulateFormWith(QStringLiteral("Tokens"));
        w->show();
        QCOMPARE(w->lblPOP3Security->text(), QStringLiteral("TLS, own CA file, OAuth 2.0"));

        // The person at the browser, wherever it is.
        std::vector<platform::ChildProcess> browsers;
        const auto play = [&](const std::string& url) {
            browsers.emplace_back();
            return browsers.back().start({std::string(RINGPOST_SOURCE_DIR) + "tests/harness/oauth/browser.py", url, ca,
                                          "list"},
                                         home_.file("browser.log"));
        };
        w->prepareSecurityDialog = [&](frmSecurity& d) {
            d.signIn.openBrowser = [&](const QUrl& url) {
                return play(url.toString(QUrl::FullyEncoded).toStdString());
            };
            d.signIn.codeShown = [&](const oauth::DeviceAuthorization& a) { play(a.verificationUriComplete); };
        };
        QStringList states;
        w->runSecurityDialog = [&](frmSecurity& d) {
            states << d.lblAccount->text();
            d.cmdSignIn->click();
            states << d.lblAccount->text();
            return true;
        };
        w->cmdPOP3Security_Click();
        QCOMPARE(states, (QStringList{QStringLiteral("Not signed in"), QStringLiteral("Signed in as list")}));
        QCOMPARE(dialogs_.count("message"), 0);

        w->cmdTestPOP3_Click();
        expectMessage(kSuccess, DialogIcon::Information);
        dialogs_.inputs = {QStringLiteral("ann@example.org")};
        w->cmdTestSMTP_Click();
        expectMessage(kSuccess, DialogIcon::Information);
        QVERIFY(mail.waitFor("ann", 1));

        // Signed out, then in again with a code on "another machine".
        states.clear();
        w->runSecurityDialog = [&](frmSecurity& d) {
            dialogs_.answers = {true};
            d.cmdSignOut->click();
            states << d.lblAccount->text();
            d.cmdSignInWithCode->click();
            states << d.lblAccount->text();
            return true;
        };
        w->cmdSMTPSecurity_Click();
        QCOMPARE(states, (QStringList{QStringLiteral("Not signed in"), QStringLiteral("Signed in as list")}));
        w->cmdTestPOP3_Click();
        expectMessage(kSuccess, DialogIcon::Information);
        // Both sides keep signing in by token once saved.
        QVERIFY(w->Save());
        const std::string saved = home_.read("Tokens/Settings.INI");
        QVERIFY(saved.find("[OAuth2]\r\nProvider=Custom\r\nClientId=ringpost\r\n") != std::string::npos);
        QVERIFY(saved.find("refresh_token") == std::string::npos);

        // Signed out for good: the test says what to do.
        oauth::removeTokenFile(home_.file("Tokens/"));
        w->cmdTestPOP3_Click();
        QVERIFY2(dialogs_.last()->text.contains(QStringLiteral("Sign in again under Security")),
                 qPrintable(dialogs_.last()->text));
    }

    void librariesBesideTheConsoleComeFirst() {
        TempDir dir;
        fs::copy_file(std::string(RINGPOST_HOME_DIR) + "libKOVASMTP.so", dir.file("libKOVASMTP.so"));
        MailLibraries libraries(dir.path());
        std::string error;
        QVERIFY(libraries.smtp(error));
        QVERIFY(platform::SharedLibrary::isLoaded(dir.file("libKOVASMTP.so")));
#ifndef __SANITIZE_ADDRESS__
        // Not beside it: found by name (through this program's run path, which
        // the sanitizer's dlopen wrapper does not see).
        TempDir empty;
        MailLibraries byName(empty.path());
        QVERIFY2(byName.pop3(error), error.c_str());
#endif
    }
};

QTEST_MAIN(ConnectionTest)
#include "ConnectionTest.moc"
