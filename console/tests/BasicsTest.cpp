// The console's helpers and the real Qt dialog adapter.
#include "Dialogs.h"
#include "SystemDirFixture.h"
#include "basRingpostCfg.h"
#include "platform/Clock.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

// Waits for the next modal box, hands it to `act`, and gives up after a deadline.
void whenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(10000);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, act] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        } else if (deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

uint32_t waitForExit(platform::Process& p) {
    uint32_t code = platform::kStillActive;
    for (int i = 0; i < 1000 && p.exitCode(code) && code == platform::kStillActive; ++i) platform::sleepMs(10);
    return code;
}

}  // namespace

class BasicsTest : public QObject {
    Q_OBJECT
    SystemDirFixture sys_;
    TempDir dir_;

private slots:
    void questionDefaultsToNo() {
        QtDialogs dialogs;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QAbstractButton* defaultButton = nullptr;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            defaultButton = box->defaultButton();
            QVERIFY(defaultButton == box->button(QMessageBox::No));
            QTest::keyClick(box, Qt::Key_Return);
        });
        QVERIFY(!dialogs.question(nullptr, QStringLiteral("Sure?"), QString(), DialogIcon::Question));
        QCOMPARE(title, QStringLiteral("Configure KOVA(tm) Ringpost"));
        QCOMPARE(text, QStringLiteral("Sure?"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);

        whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        QVERIFY(!dialogs.question(nullptr, QStringLiteral("Sure?"), QStringLiteral("Remove List"), DialogIcon::Error));

        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            title = box->windowTitle();
            icon = box->icon();
            box->button(QMessageBox::Yes)->click();
        });
        QVERIFY(dialogs.question(nullptr, QStringLiteral("Sure?"), QStringLiteral("Remove List"), DialogIcon::Error));
        QCOMPARE(title, QStringLiteral("Remove List"));
        QCOMPARE(icon, QMessageBox::Critical);
    }

    void messageHasOkAndIcon() {
        QtDialogs dialogs;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            title = box->windowTitle();
            icon = box->icon();
            buttons = box->standardButtons();
            QTest::keyClick(box, Qt::Key_Return);
        });
        dialogs.message(nullptr, QStringLiteral("Broken."), QString(), DialogIcon::Error);
        QCOMPARE(title, QStringLiteral("Configure KOVA(tm) Ringpost"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, QMessageBox::Ok);
    }

    void twips() {
        QCOMPARE(twipsPerPixelX(), 15.0);  // 96 dpi
        QCOMPARE(pixelsToTwipsX(10), 150.0);
        QCOMPARE(pixelsToTwipsY(3), 45.0);
        QCOMPARE(twipsToPixelsY(100), 7);
        QCOMPARE(twipsToPixelsY(-20000), -1333);
    }

    void gradientColours() {
        QCOMPARE(gradientColour(0, 400), QColor(0, 0, 0));
        QCOMPARE(gradientColour(50, 400), QColor(0, 64, 0));
        QCOMPARE(gradientColour(200, 400), QColor(0, 255, 0));
        QCOMPARE(gradientColour(250, 400), QColor(64, 255, 64));
        QCOMPARE(gradientColour(400, 400), QColor(255, 255, 255));
        QCOMPARE(gradientColour(401, 401), QColor(254, 255, 254));  // half rounds to 201
        QCOMPARE(gradientColour(402, 401), QColor(255, 255, 255));
        QCOMPARE(gradientColour(201, 401), QColor(0, 255, 0));
    }

    void fileExists() {
        dir_.write("here.txt", "x");
        dir_.mkdir("folder");
        QVERIFY(FileExists(dir_.file("here.txt")));
        QVERIFY(!FileExists(dir_.file("missing.txt")));
        QVERIFY(!FileExists(dir_.file("folder")));
        QVERIFY(!FileExists(""));
    }

    void startProgramTakesAnArgumentVector() {
        dir_.mkdir("with space");
        const std::string marker = dir_.file("with space") + "/made it";
        platform::Process p = StartProgram({"/bin/sh", "-c", "echo \"$1\" > \"$2\"; exit 7", "sh", "a b", marker}, kHide);
        QVERIFY(p.started());
        QCOMPARE(waitForExit(p), 7u);
        QCOMPARE(dir_.read("with space/made it"), std::string("a b\n"));

        platform::Process none = StartProgram({dir_.file("no such program")}, kHide);
        QVERIFY(!none.started());
        uint32_t code = 0;
        QVERIFY(!none.exitCode(code));
    }

    void startProgramInheritsNoDescriptor() {
        // A descriptor opened without close-on-exec, as a library might.
        const int fd = ::open(dir_.file("here.txt").c_str(), O_RDONLY);
        QVERIFY(fd > 2);
        const std::string probe = "test -e /proc/self/fd/" + std::to_string(fd);
        platform::Process p = StartProgram({"/bin/sh", "-c", probe}, kHide);
        QCOMPARE(waitForExit(p), 1u);  // not there
        ::close(fd);
    }
};

QTEST_MAIN(BasicsTest)
#include "BasicsTest.moc"
