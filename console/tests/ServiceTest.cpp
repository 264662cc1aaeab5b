// The main window driving the real engine program and the real service
// manager in a temporary system directory: install, start, stop, start type,
// interval, remove, and the bounded waits.
#include "FakeDialogs.h"
#include "SystemDirFixture.h"
#include "clsRegistry.h"
#include "GradientPanel.h"
#include "frmMain.h"
#include "platform/ServiceManager.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QElapsedTimer>
#include <QTimer>
#include <fstream>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

const std::string kKey = "SYSTEM\\CurrentControlSet\\Services\\KOVARingpost";

// A home directory with a space in its path, holding a copy of the engine and
// its libraries (the engine finds its lists beside its own program file).
class EngineHome {
public:
    EngineHome() : path_(dir_.path() + "/ring post home") {
        fs::create_directories(path_);
        for (const char* f : {"RingpostSvc", "libKOVAPOP3.so", "libKOVASMTP.so"})
            fs::copy_file(std::string(RINGPOST_HOME_DIR) + f, path_ + "/" + f);
    }
    const std::string& path() const { return path_; }
    void addList(const std::string& name) const {
        fs::create_directories(path_ + "/" + name);
        write(name + "/Settings.INI",
              "[General]\r\nName=" + name +
                  "\r\nSubscribe=SUBSCRIBE\r\nUnsubscribe=UNSUBSCRIBE\r\nSubmit=SUBMIT\r\n"
                  "[POP3]\r\nServer=127.0.0.1:1\r\nUsername=list\r\nPassword=pw\r\n"
                  "[SMTP]\r\nServer=127.0.0.1:1\r\nFrom=list@example.com\r\n");
        write(name + "/Members.TXT", "_!_admin@example.com\r\n");
    }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ + "/" + name, std::ios::binary) << text;
    }

private:
    TempDir dir_;
    std::string path_;
};

bool serviceKeyExists() { return clsRegistry().KeyExists(HKEY_LOCAL_MACHINE, kKey); }

}  // namespace

class ServiceTest : public QObject {
    Q_OBJECT
    SystemDirFixture sys_;
    FakeDialogs dialogs_;

    std::unique_ptr<frmMain> open(const std::string& home) {
        auto w = std::make_unique<frmMain>(dialogs_, home);
        w->load();
        w->show();
        return w;
    }

    void checkInstalledStopped(frmMain& w) {
        QVERIFY(w.optInstall[0]->isChecked());
        QCOMPARE(w.optInstall[0]->text(), QStringLiteral("Installed"));
        QCOMPARE(w.optInstall[1]->text(), QStringLiteral("Remove"));
        QVERIFY(w.picService[0]->isVisible() && w.picService[1]->isVisible() && w.picService[3]->isVisible());
        QVERIFY(w.optRunning[1]->isChecked());
        QCOMPARE(w.optRunning[0]->text(), QStringLiteral("Start"));
        QCOMPARE(w.optRunning[1]->text(), QStringLiteral("Stopped"));
        QCOMPARE(w.lblCheck[0]->text(), QStringLiteral("Check for new messages every"));
        QVERIFY(w.txtCheck->isVisible() && w.cmdApply->isVisible() && w.lblCheck[1]->isVisible());
    }

    void checkNotInstalled(frmMain& w) {
        QVERIFY(w.optInstall[1]->isChecked());
        QCOMPARE(w.optInstall[0]->text(), QStringLiteral("Install"));
        QCOMPARE(w.optInstall[1]->text(), QStringLiteral("Removed"));
        QVERIFY(!w.picService[0]->isVisible() && !w.picService[1]->isVisible() && !w.picService[3]->isVisible());
    }

private slots:
    void init() { dialogs_ = FakeDialogs(); }
    void cleanup() {
        QCOMPARE(dialogs_.unexpectedQuestions, 0);
        // Leave no service behind for the next test.
        platform::ServiceManagerHandle m;
        platform::ServiceHandle s;
        if (platform::openServiceManager(m) && platform::openService(m, "KOVARingpost", s)) {
            platform::ServiceStatus st;
            platform::controlService(s, platform::SERVICE_CONTROL_STOP, st);
            for (int i = 0; i < 500 && platform::queryServiceStatus(s, st) && st.currentState != 1; ++i)
                QTest::qWait(20);
            platform::deleteService(s);
        }
    }

    void wholeLifeOfTheService() {
        EngineHome home;
        auto w = open(home.path());
        checkNotInstalled(*w);

        // Install.
        dialogs_.answers = {true};
        w->optInstall[0]->click();
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Install Service"));
        QVERIFY(serviceKeyExists());
        QVERIFY(!w->busy());
        checkInstalledStopped(*w);
        QVERIFY(w->optStartup[1]->isChecked());  // installed to start on demand

        // Start at boot: No keeps Manual, Yes writes Start = 2.
        dialogs_.answers = {false};
        w->optStartup[0]->click();
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Auto Service"));
        QCOMPARE(dialogs_.last()->text,
                 QStringLiteral("Are you sure you wish to have KOVA(tm) Ringpost start automatically at boot time?"));
        QVERIFY(w->optStartup[1]->isChecked());
        QCOMPARE(clsRegistry().ReadLong(HKEY_LOCAL_MACHINE, kKey, "Start"), 3);
        dialogs_.answers = {true};
        w->optStartup[0]->click();
        QCOMPARE(clsRegistry().ReadLong(HKEY_LOCAL_MACHINE, kKey, "Start"), 2);
        QVERIFY(w->optStartup[0]->isChecked());
        dialogs_.answers = {true};
        w->optStartup[1]->click();
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Manual Service"));
        QCOMPARE(dialogs_.last()->text,
                 QStringLiteral("Are you sure you wish to NOT have KOVA(tm) Ringpost start automatically at boot time?"));
        QCOMPARE(clsRegistry().ReadLong(HKEY_LOCAL_MACHINE, kKey, "Start"), 3);
        QVERIFY(w->optStartup[1]->isChecked());

        // The interval, now that it can be edited.
        w->txtCheck->setText(QStringLiteral("75"));
        w->cmdApply->click();
        QCOMPARE(clsRegistry().ReadLong(HKEY_LOCAL_MACHINE, kKey, "WaitTimeInMinutes"), 60);
        w->txtCheck->setText(QStringLiteral("25"));
        w->cmdApply->click();
        QCOMPARE(clsRegistry().ReadLong(HKEY_LOCAL_MACHINE, kKey, "WaitTimeInMinutes"), 25);
        QCOMPARE(w->lblStatus->text(),
                 QStringLiteral("Interval of 25 minutes stored. The service uses it from its next start."));

        // Start without any list: the engine stops with specific code 3.
        dialogs_.clear();
        dialogs_.answers = {true};
        w->optRunning[0]->click();
        QCOMPARE(dialogs_.count("question"), 1);
        QCOMPARE(dialogs_.shown[0].title, QStringLiteral("Start Service"));
        QCOMPARE(dialogs_.shown[0].text, QStringLiteral("Are you sure you wish to start the KOVA(tm) Ringpost service?"));
        QCOMPARE(dialogs_.count("message"), 1);
        QCOMPARE(dialogs_.last()->text,
                 QStringLiteral("Service start failure. List initialization failure. If you haven't created any "
                                "lists, this message will appear."));
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Configure KOVA(tm) Ringpost"));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);
        checkInstalledStopped(*w);

        // Start for real.
        home.addList("Jokes");
        dialogs_.clear();
        dialogs_.answers = {false};
        w->optRunning[0]->click();
        QVERIFY(w->optRunning[1]->isChecked());  // No: nothing started
        QCOMPARE(w->service().QueryServiceRunning(), 0);
        dialogs_.answers = {true};
        w->optRunning[0]->click();
        QCOMPARE(dialogs_.count("message"), 0);
        QCOMPARE(w->service().QueryServiceRunning(), 1);
        QCOMPARE(w->lblStatus->text(), QStringLiteral("Service started."));
        QVERIFY(w->optRunning[0]->isChecked());
        QCOMPARE(w->optRunning[0]->text(), QStringLiteral("Started"));
        QCOMPARE(w->optRunning[1]->text(), QStringLiteral("Stop"));
        QCOMPARE(w->lblCheck[0]->text(), QStringLiteral("Checking for new messages every 25 minutes."));
        QVERIFY(!w->txtCheck->isVisible() && !w->cmdApply->isVisible() && !w->lblCheck[1]->isVisible());
        w->cmdApply_Click();  // hidden: writes nothing
        QCOMPARE(clsRegistry().ReadLong(HKEY_LOCAL_MACHINE, kKey, "WaitTimeInMinutes"), 25);

        // Removing a started service is refused before any question.
        dialogs_.clear();
        w->optInstall[1]->click();
        QCOMPARE(dialogs_.shown.size(), size_t(1));
        QCOMPARE(dialogs_.last()->kind, QStringLiteral("message"));
        QCOMPARE(dialogs_.last()->text, QStringLiteral("Before removing the service, you must stop the service."));
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Remove Service"));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);
        QVERIFY(w->optInstall[0]->isChecked());
        QVERIFY(serviceKeyExists());

        // Stop: No leaves it running, Yes stops it.
        dialogs_.clear();
        dialogs_.answers = {false};
        w->optRunning[1]->click();
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Stop Service"));
        QCOMPARE(dialogs_.last()->text, QStringLiteral("Are you sure you wish to stop the KOVA(tm) Ringpost service?"));
        QVERIFY(w->optRunning[0]->isChecked());
        QCOMPARE(w->service().QueryServiceRunning(), 1);
        dialogs_.answers = {true};
        w->optRunning[1]->click();
        QCOMPARE(w->service().QueryServiceRunning(), 0);
        QCOMPARE(w->lblStatus->text(), QStringLiteral("Service stopped."));
        checkInstalledStopped(*w);

        // Remove: No keeps it, Yes removes it.
        dialogs_.clear();
        dialogs_.answers = {false};
        w->optInstall[1]->click();
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Remove Service"));
        QCOMPARE(dialogs_.last()->text, QStringLiteral("Are you sure you wish to remove the KOVA(tm) Ringpost service?"));
        QVERIFY(w->optInstall[0]->isChecked());
        QVERIFY(serviceKeyExists());
        dialogs_.answers = {true};
        w->optInstall[1]->click();
        QVERIFY(!serviceKeyExists());
        QCOMPARE(w->lblStatus->text(), QStringLiteral("Service removed."));
        checkNotInstalled(*w);

        // Installed again: the fresh key gets the interval the window shows.
        QCOMPARE(w->txtCheck->text(), QStringLiteral("25"));
        dialogs_.answers = {true};
        w->optInstall[0]->click();
        QCOMPARE(clsRegistry().ReadLong(HKEY_LOCAL_MACHINE, kKey, "WaitTimeInMinutes"), 25);
        QCOMPARE(w->txtCheck->text(), QStringLiteral("25"));
        QCOMPARE(w->lblStatus->text(), QStringLiteral("Service installed."));
    }

    void startBeyondItsWaitIsReported() {
        EngineHome home;
        home.addList("Jokes");
        // Enough members that the engine is still loading them when the wait ends.
        std::string members = "_!_admin@example.com\r\n";
        for (int i = 0; i < 300000; ++i) members += "member" + std::to_string(i) + "@example.com\r\n";
        home.write("Jokes/Members.TXT", members);
        auto w = open(home.path());
        QVERIFY(w->service().runEngine("-install", 30000, {}) == 0);
        w->UpdateStatus();
        w->startWaitMs = 1;
        dialogs_.answers = {true};
        w->optRunning[0]->click();
        QCOMPARE(w->lblStatus->text(),
                 QStringLiteral("The service did not report running within 1 second. It may still be starting: the "
                                "state shown is checked every 10 seconds."));
        QCOMPARE(dialogs_.count("message"), 0);
        // It comes up in its own time and the window follows.
        w->tmrUpdate->setInterval(20);
        QTRY_VERIFY_WITH_TIMEOUT(w->optRunning[0]->isChecked(), 30000);
    }

    void timerShowsChangesMadeElsewhere() {
        EngineHome home;
        home.addList("Jokes");
        auto w = open(home.path());
        checkNotInstalled(*w);
        QVERIFY(w->service().runEngine("-install", 30000, {}) == 0);
        platform::ServiceManagerHandle m;
        platform::ServiceHandle s;
        QVERIFY(platform::openServiceManager(m) && platform::openService(m, "KOVARingpost", s));
        QVERIFY(platform::startService(s));
        w->tmrUpdate->setInterval(20);
        QTRY_VERIFY_WITH_TIMEOUT(w->optRunning[0]->isChecked(), 20000);
        QVERIFY(w->optInstall[0]->isChecked());
        QCOMPARE(w->optRunning[0]->text(), QStringLiteral("Started"));
        QVERIFY(dialogs_.shown.empty());  // the window's own changes ask nothing
    }

    void engineThatCannotRunLeavesTheServiceAlone() {
        TempDir empty;  // no engine program at all
        auto w = open(empty.path());
        dialogs_.answers = {true};
        w->optInstall[0]->click();
        QCOMPARE(dialogs_.count("message"), 0);
        checkNotInstalled(*w);
    }

    void engineFailureMakesInstallFail() {
        TempDir dir;
        dir.write("RingpostSvc", "#!/bin/sh\nexit 1\n");
        fs::permissions(dir.file("RingpostSvc"), fs::perms::owner_all);
        auto w = open(dir.path());
        QVERIFY(!w->InstallService());
        checkNotInstalled(*w);
    }

    void waitForTheEngineIsBoundedAndDisablesTheButtons() {
        TempDir dir;
        dir.write("RingpostSvc", "#!/bin/sh\nexec sleep 30\n");
        fs::permissions(dir.file("RingpostSvc"), fs::perms::owner_all);
        auto w = open(dir.path());
        w->engineWaitMs = 500;
        bool sawDisabled = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            if (w->busy() && !w->optInstall[0]->isEnabled() && !w->optRunning[0]->isEnabled()) sawDisabled = true;
        });
        probe.start(10);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!w->InstallService());
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(sawDisabled);
        QVERIFY(!w->busy());
        QVERIFY(w->optInstall[0]->isEnabled());
        checkNotInstalled(*w);
    }
};

QTEST_MAIN(ServiceTest)
#include "ServiceTest.moc"
