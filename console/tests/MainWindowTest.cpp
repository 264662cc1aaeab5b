// The main window without a service: captions, the list of lists, removing a
// list, the polling interval at load and in its field, the background.
#include "FakeDialogs.h"
#include "SystemDirFixture.h"
#include "clsRegistry.h"
#include "frmHelp.h"
#include "frmMain.h"
#include "GradientPanel.h"
#include "basRingpostCfg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>

namespace {

const char kWait[] = "WaitTimeInMinutes";

void makeList(const TempDir& home, const std::string& name, const char* members = "Members.TXT",
              const char* settings = "Settings.INI") {
    home.mkdir(name);
    if (members) home.write(name + "/" + members, "_!_admin@example.com\r\n");
    if (settings) home.write(name + "/" + settings, "[General]\r\nName=" + name + "\r\n");
}

QStringList listed(const frmMain& w) {
    QStringList names;
    for (int i = 0; i < w.lstLists->count(); ++i) names << w.lstLists->item(i)->text();
    return names;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    SystemDirFixture sys_;
    std::unique_ptr<TempDir> home_;
    FakeDialogs dialogs_;

    std::unique_ptr<frmMain> open() {
        auto w = std::make_unique<frmMain>(dialogs_, home_->path());
        w->load();
        w->show();
        return w;
    }

private slots:
    void init() {
        home_ = std::make_unique<TempDir>();
        dialogs_ = FakeDialogs();
        clsRegistry().DeleteKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", "KOVARingpost");
    }
    void cleanup() { QCOMPARE(dialogs_.unexpectedQuestions, 0); }

    void captionsAndToolTips() {
        auto w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Configure KOVA(tm) Ringpost"));
        QCOMPARE(w->lblLists->text(), QStringLiteral("Lists:"));
        QCOMPARE(w->lstLists->toolTip(), QStringLiteral("Lists"));
        const std::vector<std::tuple<QPushButton*, QString, QString>> buttons = {
            {w->cmdNew, "Add...", "Create New List"},
            {w->cmdConfigure, "Configure...", "Configure List"},
            {w->cmdRemoveList, "Remove", "Delete List: removes the selected list and its files"},
            {w->cmdHelp, "?", "Help"},
            {w->cmdApply, "Apply", ""},
        };
        for (const auto& [b, caption, tip] : buttons) {
            QCOMPARE(b->text(), caption);
            QCOMPARE(b->toolTip(), tip);
        }
        QCOMPARE(w->optInstall[0]->toolTip(), QStringLiteral("Install the Ringpost"));
        QCOMPARE(w->optInstall[1]->toolTip(), QStringLiteral("Remove the Ringpost service (the lists stay)"));
        QCOMPARE(w->optRunning[0]->toolTip(), QStringLiteral("Start the Ringpost"));
        QCOMPARE(w->optRunning[1]->toolTip(), QStringLiteral("Stop the Ringpost"));
        QCOMPARE(w->optStartup[0]->toolTip(), QStringLiteral("Ringpost Starts At Boot"));
        QCOMPARE(w->optStartup[1]->toolTip(), QStringLiteral("Ringpost Won't Start At Boot"));
        QCOMPARE(w->optStartup[0]->text(), QStringLiteral("Auto"));
        QCOMPARE(w->optStartup[1]->text(), QStringLiteral("Manual"));
        QCOMPARE(w->lblService->text(), QStringLiteral("Service:"));
        QCOMPARE(w->lblCheck[1]->text(), QStringLiteral("minutes."));
        QCOMPARE(w->tmrUpdate->interval(), 10000);
        QVERIFY(w->tmrUpdate->isActive());
        // The panels hold their buttons.
        QCOMPARE(w->optInstall[0]->parentWidget(), w->picService[2]);
        QCOMPARE(w->optRunning[0]->parentWidget(), w->picService[0]);
        QCOMPARE(w->optStartup[0]->parentWidget(), w->picService[1]);
        QCOMPARE(w->cmdApply->parentWidget(), w->picService[3]);
        QCOMPARE(w->txtCheck->parentWidget(), w->picService[3]);
    }

    void intervalCaptionEndsBeforeItsField() {
        auto w = open();
        const QLabel* caption = w->lblCheck[0];
        const int textEnd = caption->x() + caption->fontMetrics().horizontalAdvance(caption->text());
        QVERIFY(textEnd < w->txtCheck->x());
        QVERIFY(w->txtCheck->geometry().right() < w->lblCheck[1]->x());
        const int unitEnd = w->lblCheck[1]->x() + w->lblCheck[1]->fontMetrics().horizontalAdvance(w->lblCheck[1]->text());
        QVERIFY(unitEnd < w->cmdApply->x());
    }

    void notInstalledShowsOnlyInstall() {
        auto w = open();
        QVERIFY(w->optInstall[1]->isChecked());
        QCOMPARE(w->optInstall[0]->text(), QStringLiteral("Install"));
        QCOMPARE(w->optInstall[1]->text(), QStringLiteral("Removed"));
        QVERIFY(w->picService[2]->isVisible());
        QVERIFY(!w->picService[0]->isVisible());
        QVERIFY(!w->picService[1]->isVisible());
        QVERIFY(!w->picService[3]->isVisible());
        QVERIFY(w->optRunning[1]->isChecked());
        QVERIFY(w->optStartup[1]->isChecked());
        QCOMPARE(w->optRunning[0]->text(), QStringLiteral("Start"));
        QCOMPARE(w->optRunning[1]->text(), QStringLiteral("Stopped"));
        QCOMPARE(w->lblCheck[0]->text(), QStringLiteral("Check for new messages every"));
        QVERIFY(dialogs_.shown.empty());
    }

    void installQuestionNoRestoresThePair() {
        auto w = open();
        dialogs_.answers = {false};
        w->optInstall[0]->click();
        QCOMPARE(dialogs_.shown.size(), size_t(1));
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Install Service"));
        QCOMPARE(dialogs_.last()->text,
                 QStringLiteral("Are you sure you wish to install KOVA(tm) Ringpost as a service?"));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Question);
        QVERIFY(w->optInstall[1]->isChecked());
        QVERIFY(!clsRegistry().KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KOVARingpost\\x"));
    }

    void intervalAtLoad_data() {
        QTest::addColumn<int>("stored");  // -2: no value
        QTest::addColumn<QString>("shown");
        QTest::newRow("missing") << -2 << "10";
        QTest::newRow("0") << 0 << "10";
        QTest::newRow("1") << 1 << "10";
        QTest::newRow("2") << 2 << "2";
        QTest::newRow("30") << 30 << "30";
        QTest::newRow("60") << 60 << "60";
        QTest::newRow("61") << 61 << "60";
        QTest::newRow("4294967295") << -1 << "60";  // unsigned, as the engine reads it
    }
    void intervalAtLoad() {
        QFETCH(int, stored);
        QFETCH(QString, shown);
        const std::string key = "SYSTEM\\CurrentControlSet\\Services\\KOVARingpost";
        if (stored != -2) QVERIFY(clsRegistry().WriteLong(HKEY_LOCAL_MACHINE, key, kWait, stored));
        auto w = open();
        QCOMPARE(w->txtCheck->text(), shown);
        QCOMPARE(clsRegistry().ReadLong(HKEY_LOCAL_MACHINE, key, kWait), shown.toInt());
    }

    void intervalField() {
        auto w = open();
        w->txtCheck->clear();
        QTest::keyClicks(w->txtCheck, QStringLiteral("a1b x"));
        QCOMPARE(w->txtCheck->text(), QStringLiteral("1"));
        QTest::keyClick(w->txtCheck, Qt::Key_Return);
        QCOMPARE(w->txtCheck->text(), QStringLiteral("10"));
        w->txtCheck->setText(QStringLiteral("75"));
        w->txtCheck_LostFocus();
        QCOMPARE(w->txtCheck->text(), QStringLiteral("60"));
        QTest::keyClick(w->txtCheck, Qt::Key_Backspace);
        QCOMPARE(w->txtCheck->text(), QStringLiteral("6"));
        // Apply does nothing while the field is hidden (service not installed).
        w->cmdApply_Click();
        QCOMPARE(clsRegistry().ReadLong(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KOVARingpost", kWait),
                 10);
    }

    void listOfLists() {
        makeList(*home_, "beta");
        makeList(*home_, "Alpha");
        makeList(*home_, "gamma", nullptr);                         // only Settings.INI
        makeList(*home_, "epsilon", "Members.TXT", nullptr);        // only Members.TXT
        makeList(*home_, "Zed", "members.txt", "SETTINGS.ini");     // names of any case
        makeList(*home_, "With Space");
        home_->write("delta", "a file, not a list");
        auto w = open();
        QCOMPARE(listed(*w), (QStringList{"Alpha", "beta", "With Space", "Zed"}));
        QCOMPARE(w->lstLists->currentRow(), 0);
    }

    void removeList() {
        makeList(*home_, "Alpha");
        makeList(*home_, "beta");
        home_->write("beta/1234.MSG", "archived");
        auto w = open();
        w->lstLists->setCurrentRow(1);

        dialogs_.answers = {false};
        w->cmdRemoveList->click();
        QCOMPARE(dialogs_.last()->text,
                 QStringLiteral("Are you sure you wish to permanently remove the beta list? This can not be undone!"));
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Remove List"));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);
        QCOMPARE(listed(*w), (QStringList{"Alpha", "beta"}));
        QVERIFY(std::filesystem::exists(home_->file("beta/Members.TXT")));

        dialogs_.answers = {true};
        w->cmdRemoveList->click();
        QCOMPARE(dialogs_.count("message"), 0);
        QVERIFY(!std::filesystem::exists(home_->file("beta")));
        QCOMPARE(listed(*w), QStringList{"Alpha"});
        QCOMPARE(w->lstLists->currentRow(), 0);

        dialogs_.answers = {true};
        w->cmdRemoveList->click();
        QVERIFY(!std::filesystem::exists(home_->file("Alpha")));
        QCOMPARE(w->lstLists->count(), 0);
        QVERIFY(w->lstLists->currentItem() == nullptr);
        dialogs_.clear();
        w->cmdRemoveList->click();  // nothing selected: nothing asked
        QVERIFY(dialogs_.shown.empty());
    }

    void removeListNamedInWindows1252() {
        makeList(*home_, "Caf\xe9");
        auto w = open();
        QCOMPARE(listed(*w), QStringList{QStringLiteral("Caf\u00e9")});
        dialogs_.answers = {true};
        w->cmdRemoveList->click();
        QCOMPARE(dialogs_.count("message"), 0);
        QVERIFY(!std::filesystem::exists(home_->file("Caf\xe9")));
        QCOMPARE(w->lstLists->count(), 0);
    }

    void removeListThatCannotBeRemoved() {
        makeList(*home_, "Jokes");
        home_->mkdir("Jokes/1234");  // an attachment folder
        home_->write("Jokes/1234/a.bin", "x");
        auto w = open();
        dialogs_.answers = {true};
        w->cmdRemoveList->click();
        QCOMPARE(dialogs_.count("message"), 1);
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Remove List"));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);
        QCOMPARE(dialogs_.last()->text, QStringLiteral("Error #39 removing Jokes list: Directory not empty"));
        QCOMPARE(w->lstLists->count(), 0);  // the entry goes all the same
        QVERIFY(!std::filesystem::exists(home_->file("Jokes/Members.TXT")));
        QVERIFY(std::filesystem::exists(home_->file("Jokes/1234/a.bin")));
    }

    void addAndConfigureCallTheEditorHook() {
        makeList(*home_, "Jokes");
        auto w = open();
        QString opened = QStringLiteral("none");
        w->openListEditor = [&](const QString& name) {
            opened = name;
            return std::string();
        };
        w->cmdConfigure->click();
        QCOMPARE(opened, QStringLiteral("Jokes"));
        w->cmdNew->click();
        QCOMPARE(opened, QString());
        w->lstLists->setCurrentRow(-1);
        opened = QStringLiteral("none");
        w->cmdConfigure->click();
        QCOMPARE(opened, QStringLiteral("none"));
    }

    void helpButtonShowsTopicZero() {
        auto w = open();
        QString title, text;
        QTimer::singleShot(0, [&] {});
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, [&, timer] {
            if (auto* help = qobject_cast<frmHelp*>(QApplication::activeModalWidget())) {
                timer->stop();
                title = help->windowTitle();
                text = help->helpText();
                help->cmdClose()->click();
            }
        });
        timer->start(20);
        QTimer::singleShot(10000, timer, &QTimer::stop);
        w->cmdHelp->click();
        QCOMPARE(title, QStringLiteral("Help"));
        QVERIFY(text.contains(QStringLiteral("first click the INSTALL button")));
        delete timer;
    }

    void panelsContinueTheWindowGradient() {
        auto w = open();
        const QImage img = w->grab().toImage();
        const int outer = w->frameGeometry().height();
        GradientPanel* panel = w->picService[2];
        const QPoint inPanel(panel->width() - 3, panel->height() - 2);  // beside its buttons
        const QPoint inWindow = panel->mapTo(w.get(), inPanel);
        QCOMPARE(img.pixelColor(inWindow), gradientColour(inWindow.y(), outer));
        QCOMPARE(img.pixelColor(QPoint(w->width() - 2, 2)), gradientColour(2, outer));
        QCOMPARE(img.pixelColor(QPoint(2, w->height() - 1)), gradientColour(w->height() - 1, outer));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
