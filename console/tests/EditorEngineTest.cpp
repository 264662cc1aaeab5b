// What the editor writes is what the engine loads: a list saved through the
// editor, then the installed engine started in console mode on it.
#include "FakeDialogs.h"
#include "SystemDirFixture.h"
#include "frmConfigure.h"
#include "harness/DovecotServer.h"
#include "harness/ListHome.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

class EditorEngineTest : public QObject {
    Q_OBJECT
    SystemDirFixture sys_;

private slots:
    void engineLoadsTheSavedList() {
        TempDir home;
        harness::copyEngine(home.path());
        harness::DovecotServer pop3("127.0.7.10");
        pop3.addUser("jokes", "pw");
        std::string error;
        QVERIFY2(pop3.start(&error), error.c_str());

        FakeDialogs dialogs;
        frmConfigure w(dialogs, home.path());
        w.show();
        w.txtName->setText(QStringLiteral("  Joke of the Day "));
        w.txtSubscribe->setText(QStringLiteral("join"));
        w.txtPOP3Server->setText(QString::fromStdString(pop3.server()));
        w.txtPOP3Username->setText(QStringLiteral("jokes"));
        w.txtPOP3Password->setText(QStringLiteral("pw"));
        for (const char* m : {"zed@example.com", "boss@example.com", "ann@example.com"}) {
            w.txtMember->setText(QString::fromLatin1(m));
            w.cmdAdd_Click();
        }
        dialogs.answers = {true};
        w.lstMembers->findItems(QStringLiteral("boss@example.com"), Qt::MatchExactly).front()->setCheckState(Qt::Checked);
        w.cmdOK->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(dialogs.unexpectedQuestions, 0);

        std::string failure;
        const std::string out = harness::runOnePass(home.path(), sys_.path(), failure);
        QVERIFY2(failure.empty(), failure.c_str());
        const std::string loading =
            "Searching for lists...\nAdding Joke of the Day List...\nReading settings...\nReading members...\n"
            "Added 3 members.\nInitialization Success\n";
        QVERIFY2(out.find(loading) != std::string::npos, out.c_str());
        // The list's name and mailbox settings reached the engine.
        QVERIFY2(out.find("\nUpdating Joke of the Day List\n") != std::string::npos, out.c_str());
        QVERIFY2(out.find("Connecting to: " + pop3.server() + "  Username: jokes...Success\n") != std::string::npos,
                 out.c_str());
        // The engine left the member file as the editor wrote it.
        QCOMPARE(home.read("Joke of the Day/Members.TXT"),
                 std::string("_!_boss@example.com\r\nann@example.com\r\nzed@example.com\r\n"));
    }
};

QTEST_MAIN(EditorEngineTest)
#include "EditorEngineTest.moc"
