// Takes the README's screenshots: the main window with the service installed
// and running, the help window, each page of the list editor and the
// security dialogs (SMTP by password, POP3 signed in with OAuth 2.0). Run
// under a real X server (xvfb-run) with a window manager.
// Usage: console_screenshots OUTPUT_DIR
#include "FakeDialogs.h"
#include "SystemDirFixture.h"
#include "frmConfigure.h"
#include "frmHelp.h"
#include "frmMain.h"
#include "frmSecurity.h"
#include "oauth/TokenFile.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;

namespace {

void addList(const std::string& home, const std::string& name) {
    fs::create_directories(home + "/" + name);
    std::ofstream(home + "/" + name + "/Settings.INI", std::ios::binary)
        << "[General]\r\nName=" << name
        << "\r\nSubscribe=SUBSCRIBE\r\nUnsubscribe=UNSUBSCRIBE\r\nSubmit=SUBMIT\r\n"
           "[POP3]\r\nServer=127.0.0.1:1\r\nUsername=list\r\nPassword=pw\r\n"
           "[SMTP]\r\nServer=127.0.0.1:1\r\nFrom=list@example.com\r\n";
    std::ofstream(home + "/" + name + "/Members.TXT", std::ios::binary)
        << "_!_admin@example.com\r\nann.lee@example.org\r\nbob@example.net\r\n_!_carol@example.com\r\n"
           "dave@example.org\r\n";
}

// The window as the user sees it, title bar and border included: the screen
// under its frame once the window manager has framed it.
bool save(QWidget& w, const QString& path) {
    w.show();
    w.activateWindow();
    if (!QTest::qWaitForWindowExposed(&w)) return false;
    const bool framed = QTest::qWaitFor([&] { return w.frameGeometry().size() != w.size(); }, 3000);
    QTest::qWait(300);
    const QRect frame = w.frameGeometry();
    if (!framed) std::cerr << "no window manager: " << path.toStdString() << " has no title bar\n";
    QScreen* screen = w.screen();
    return screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: console_screenshots OUTPUT_DIR\n";
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    SystemDirFixture sys;
    TempDir dir;
    const std::string home = dir.path() + "/ringpost";
    fs::create_directories(home);
    for (const char* f : {"RingpostSvc", "libKOVAPOP3.so", "libKOVASMTP.so"})
        fs::copy_file(std::string(RINGPOST_HOME_DIR) + f, home + "/" + f);
    for (const char* name : {"Joke of the Day", "announcements", "Book Club"}) addList(home, name);

    FakeDialogs dialogs;
    frmMain main(dialogs, home);
    main.load();
    main.show();
    int rc = 0;
    if (!main.InstallService() || !main.SetServiceAuto() || !main.StartTheService()) {
        std::cerr << "the service did not install and start\n";
        rc = 1;
    }
    main.UpdateStatus();
    if (!save(main, out + QStringLiteral("/main-window.png"))) rc = 1;
    main.StopTheService();
    main.RemoveService();

    frmHelp help(dialogs, home, nullptr);
    help.setTopic(0);
    if (!save(help, out + QStringLiteral("/help-window.png"))) rc = 1;
    help.hide();

    frmConfigure editor(dialogs, home, nullptr);
    editor.PopulateFormWith(QStringLiteral("Joke of the Day"));
    editor.txtPOP3Server->setText(QStringLiteral("mail.example.com"));
    editor.txtPOP3Username->setText(QStringLiteral("jokes"));
    editor.txtSMTPServer->setText(QStringLiteral("mail.example.com"));
    editor.txtSMTPFrom->setText(QStringLiteral("jokes@example.com"));
    editor.txtSMTPReplyTo->setText(QStringLiteral("jokes@example.com"));
    editor.txtMaxPerDay->setText(QStringLiteral("2000"));
    editor.lstMembers->setCurrentRow(1);
    const char* pages[] = {"general", "pop3", "smtp", "members", "messages"};
    for (int page = 0; page < 5; ++page) {
        editor.selectPage(page);
        if (!save(editor, out + QStringLiteral("/editor-%1.png").arg(QLatin1String(pages[page])))) rc = 1;
    }
    editor.hide();

    SecurityValues smtp{"STARTTLS", {}, "jokes@example.com", "secret", false, {}};
    frmSecurity password(true, smtp, {}, home + "/Joke of the Day/", "jokes@example.com", dialogs);
    if (!save(password, out + QStringLiteral("/security-password.png"))) rc = 1;
    password.hide();

    // A sign-in as the console leaves it (the token itself is only a stand-in).
    oauth::writeTokenFile(home + "/Joke of the Day/", {"stand-in", "jokes@example.com", {}, oauth::utcNow()});
    OAuthValues microsoft{"Microsoft", "00000000-0000-0000-0000-000000000000", {}, "example.com", {}, {}, {}, {}, {}};
    frmSecurity signedIn(false, {"TLS", {}, {}, {}, false, "OAuth2"}, microsoft, home + "/Joke of the Day/",
                         "jokes@example.com", dialogs);
    if (!save(signedIn, out + QStringLiteral("/security-oauth.png"))) rc = 1;
    return rc;
}
