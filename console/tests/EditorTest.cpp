// The list editor with scripted dialogs: defaults, filling from a list,
// members and administrators, every save check, what is written, and the
// cases that must write nothing.
#include "ClickableLabel.h"
#include "FakeDialogs.h"
#include "GradientPanel.h"
#include "SystemDirFixture.h"
#include "engine/ListLoading.h"
#include "frmConfigure.h"
#include "frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <deque>
#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const QString kApp = QStringLiteral("Configure KOVA(tm) Ringpost");

const std::string kDefaultSettings =
    "[General]\r\nName=New List\r\nSubscribe=SUBSCRIBE\r\nUnsubscribe=UNSUBSCRIBE\r\nSubmit=SUBMIT\r\n"
    "AdminSubscribe=1\r\nAdminUnsubscribe=0\r\nAdminSubmit=0\r\nBounceLimit=5\r\n"
    "[POP3]\r\nServer=mail.example.com\r\nUsername=ringpost\r\nPassword=vemdarol\r\n"
    "[SMTP]\r\nServer=mail.example.com\r\nFrom=list@example.com\r\nReplyTo=list@example.com\r\n"
    "StripAttachments=1\r\nStripHTML=1\r\n"
    "[Messages]\r\nPrepend=Prepend.txt\r\nPostpend=Postpend.txt\r\nWelcome=Welcome.txt\r\nKeep=0\r\n";

QListWidgetItem* entry(const frmConfigure& w, const QString& text) {
    for (int i = 0; i < w.lstMembers->count(); ++i)
        if (w.lstMembers->item(i)->text() == text) return w.lstMembers->item(i);
    return nullptr;
}

QStringList entries(const frmConfigure& w) {
    QStringList out;
    for (int i = 0; i < w.lstMembers->count(); ++i) {
        const QListWidgetItem* item = w.lstMembers->item(i);
        out << (item->checkState() == Qt::Checked ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) + item->text();
    }
    return out;
}

// Everything below a directory, for "nothing was written" checks.
std::vector<std::string> tree(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

class EditorTest : public QObject {
    Q_OBJECT
    SystemDirFixture sys_;
    std::unique_ptr<TempDir> home_;
    FakeDialogs dialogs_;
    std::vector<int> helpTopics_;

    std::unique_ptr<frmConfigure> open(const QString& list = QString()) {
        auto w = std::make_unique<frmConfigure>(dialogs_, home_->path());
        w->showHelp = [this](int topic) { helpTopics_.push_back(topic); };
        if (!list.isEmpty()) w->PopulateFormWith(list);
        w->show();
        return w;
    }

    // Adds a member and, when asked, makes it an administrator (answering Yes).
    void add(frmConfigure& w, const QString& address, bool administrator = false) {
        w.txtMember->setText(address);
        // Controls of a page behind the front one are disabled.
        if (w.currentPage() == 3)
            w.cmdAdd->click();
        else
            w.cmdAdd_Click();
        if (administrator) {
            QListWidgetItem* item = entry(w, address);
            QVERIFY(item);
            dialogs_.answers.push_back(true);
            item->setCheckState(Qt::Checked);
        }
    }

    // A valid list, ready to save.
    std::unique_ptr<frmConfigure> validList(const QString& name = QStringLiteral("Jokes")) {
        auto w = open();
        w->txtName->setText(name);
        add(*w, QStringLiteral("boss@example.com"), true);
        dialogs_.clear();
        return w;
    }

    void expectRefused(frmConfigure& w, const QString& text, int page, QWidget* focus) {
        QVERIFY(w.isVisible());
        QVERIFY(dialogs_.last());
        QCOMPARE(dialogs_.last()->kind, QStringLiteral("message"));
        QCOMPARE(dialogs_.last()->text, text);
        QCOMPARE(dialogs_.last()->title, kApp);
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);
        QCOMPARE(w.currentPage(), page);
        QCOMPARE(w.focusWidget(), focus);
    }

    void writeList(const std::string& dir, const std::string& settings, const std::string& members) {
        home_->mkdir(dir);
        home_->write(dir + "/Settings.INI", settings);
        home_->write(dir + "/Members.TXT", members);
    }

private slots:
    void init() {
        home_ = std::make_unique<TempDir>();
        dialogs_ = FakeDialogs();
        helpTopics_.clear();
    }
    void cleanup() { QCOMPARE(dialogs_.unexpectedQuestions, 0); }

    void newListShowsTheDefaults() {
        auto w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Configure New List"));
        QCOMPARE(w->width(), 410);
        const std::vector<std::pair<QLineEdit*, QString>> fields = {
            {w->txtName, "New List"},
            {w->txtSubscribe, "SUBSCRIBE"},
            {w->txtUnsubscribe, "UNSUBSCRIBE"},
            {w->txtSubmit, "SUBMIT"},
            {w->txtPOP3Server, "mail.example.com"},
            {w->txtPOP3Username, "ringpost"},
            {w->txtPOP3Password, "vemdarol"},
            {w->txtSMTPServer, "mail.example.com"},
            {w->txtSMTPFrom, "list@example.com"},
            {w->txtSMTPReplyTo, "list@example.com"},
            {w->txtPrepend, "Prepend.txt"},
            {w->txtPostpend, "Postpend.txt"},
            {w->txtWelcome, "Welcome.txt"},
            {w->txtKeep, "0"},
            {w->txtBounceLimit, "5"},
            {w->txtBounceDays, "14"},
            {w->txtMember, ""},
        };
        for (const auto& [f, text] : fields) QCOMPARE(f->text(), text);
        QVERIFY(w->chkSubscribe->isChecked());
        QVERIFY(!w->chkUnsubscribe->isChecked());
        QVERIFY(!w->chkSubmit->isChecked());
        QVERIFY(w->chkStripAttachments->isChecked());
        QVERIFY(w->chkStripHTML->isChecked());
        QCOMPARE(w->lstMembers->count(), 0);
        QCOMPARE(w->txtPOP3Password->echoMode(), QLineEdit::Password);

        // Required fields are yellow, the others are not.
        const QColor yellow(255, 255, 0);
        for (QWidget* f : std::initializer_list<QWidget*>{w->txtName, w->txtSubscribe, w->txtUnsubscribe,
                                                          w->txtPOP3Server, w->txtPOP3Username, w->txtPOP3Password,
                                                          w->txtSMTPServer, w->txtSMTPFrom, w->lstMembers})
            QCOMPARE(f->palette().color(QPalette::Base), yellow);
        for (QWidget* f : std::initializer_list<QWidget*>{w->txtSubmit, w->txtSMTPReplyTo, w->txtMember, w->txtPrepend,
                                                          w->txtPostpend, w->txtWelcome, w->txtKeep})
            QVERIFY(f->palette().color(QPalette::Base) != yellow);

        QCOMPARE(w->lblYellow->text(), QStringLiteral(" All yellow fields must be filled in "));
        QCOMPARE(w->cmdOK->text(), QStringLiteral("OK"));
        QCOMPARE(w->cmdCancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(w->cmdHelp->text(), QStringLiteral("?"));
        QCOMPARE(w->cmdTestPOP3->text(), QStringLiteral("Test POP3"));
        QCOMPARE(w->cmdTestSMTP->text(), QStringLiteral("Test SMTP"));
        QCOMPARE(w->cmdAdd->text(), QStringLiteral("Add"));
        QCOMPARE(w->cmdRemove->text(), QStringLiteral("Remove"));
        QCOMPARE(w->lblMembers->text(), QStringLiteral("Members: (Administrators are checked)"));
        for (const auto* l : w->lblRequireAdmin) QCOMPARE(l->text(), QStringLiteral("Require Admin approval"));
        QCOMPARE(w->lblStripAttachments->text(), QStringLiteral("Strip all attachments before resending"));
        QCOMPARE(w->lblStripHTML->text(), QStringLiteral("Strip all HTML before resending"));
        const QStringList pages = {"General", "POP3", "SMTP", "Members", "Messages"};
        for (int i = 0; i < 5; ++i) QCOMPARE(w->optOptions[i]->text(), pages[i]);

        QStringList labels;
        for (const QLabel* l : w->findChildren<QLabel*>()) labels << l->text();
        for (const char* l : {"Name:", "Subscribe Command:", "Unsubscribe Command:", "Submit Command:", "POP3 Server:",
                              "Username:", "Password:", "SMTP Server:", "From:", "Reply To;", "Prepend Message File:",
                              "Postpend Message File:", "Welcome Message File:", "Days to keep messages:"})
            QVERIFY2(labels.contains(QString::fromLatin1(l)), l);
    }

    void titleFollowsTheName() {
        auto w = open();
        w->txtName->setText(QStringLiteral("Book Club"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Configure Book Club"));
        w->txtName->clear();
        QCOMPARE(w->windowTitle(), QStringLiteral("Configure "));
    }

    void pagesAndHelpTopics() {
        auto w = open();
        for (int page = 0; page < 5; ++page) {
            w->optOptions[page]->click();
            QCOMPARE(w->currentPage(), page);
            for (int i = 0; i < 5; ++i) {
                if (i == page) {
                    QCOMPARE(w->picOptions[i]->geometry(), QRect(5, w->optOptions[0]->geometry().bottom() + 6, 400, 235));
                    QVERIFY(w->picOptions[i]->isEnabled());
                } else {
                    QCOMPARE(w->picOptions[i]->x(), -1333);  // -20000 twips
                    QVERIFY(!w->picOptions[i]->isEnabled());
                }
            }
            w->cmdHelp->click();
        }
        QCOMPARE(helpTopics_, (std::vector<int>{2, 3, 4, 5, 6}));
        // The page buttons share the width.
        QCOMPARE(w->optOptions[4]->geometry().right(), 404);
    }

    void labelsToggleTheirCheckBoxes() {
        auto w = open();
        const std::array<QCheckBox*, 3> boxes = {w->chkSubscribe, w->chkUnsubscribe, w->chkSubmit};
        for (int i = 0; i < 3; ++i) {
            const bool before = boxes[i]->isChecked();
            w->selectPage(0);
            QTest::mouseClick(w->lblRequireAdmin[i], Qt::LeftButton);
            QCOMPARE(boxes[i]->isChecked(), !before);
            QTest::mouseClick(w->lblRequireAdmin[i], Qt::LeftButton);
            QCOMPARE(boxes[i]->isChecked(), before);
        }
        w->selectPage(2);
        QTest::mouseClick(w->lblStripAttachments, Qt::LeftButton);
        QVERIFY(!w->chkStripAttachments->isChecked());
        QTest::mouseClick(w->lblStripHTML, Qt::LeftButton);
        QVERIFY(!w->chkStripHTML->isChecked());
        QVERIFY(w->chkStripAttachments->isChecked() == false);
    }

    void commandFieldsTurnToCapitalsOnLeaving() {
        auto w = open();
        w->txtSubscribe->setText(QStringLiteral("join é"));
        emit w->txtSubscribe->editingFinished();
        QCOMPARE(w->txtSubscribe->text(), QStringLiteral("JOIN é"));  // ASCII letters only
        w->txtName->setText(QStringLiteral("lower"));
        emit w->txtName->editingFinished();
        QCOMPARE(w->txtName->text(), QStringLiteral("lower"));
    }

    void newListSavedWithDefaultsAndOneCheckedMember() {
        auto w = open();
        add(*w, QStringLiteral("boss@example.com"), true);
        QCOMPARE(dialogs_.count("question"), 1);
        QCOMPARE(dialogs_.last()->text, QStringLiteral("Are you sure you wish to make boss@example.com an administrator?"));
        QCOMPARE(dialogs_.last()->title, kApp);
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Question);
        dialogs_.clear();
        w->cmdOK->click();
        QCOMPARE(dialogs_.shown.size(), size_t(0));
        QVERIFY(!w->isVisible());
        QCOMPARE(w->result(), int(QDialog::Accepted));
        QCOMPARE(home_->read("New List/Settings.INI"), kDefaultSettings);
        QCOMPARE(home_->read("New List/Members.TXT"), std::string("_!_boss@example.com\r\n"));
        // No working copy is left behind; the member file's lock stays.
        QCOMPARE(tree(home_->file("New List")).size(), size_t(3));

        // The engine reads it back as written.
        const auto list = LoadList(home_->file("New List"));
        QCOMPARE(QString::fromStdString(list->name), QStringLiteral("New List"));
        QVERIFY(list->adminSubscribe && !list->adminUnsubscribe && !list->adminSubmit);
        QCOMPARE(list->keep, 0);
        QCOMPARE(list->bounceLimit, 5);
        QCOMPARE(list->bounceDays, 14);
        QCOMPARE(list->members.count(), 1);
        QVERIFY(list->members.entries()[0].isAdministrator);
        QCOMPARE(QString::fromStdString(list->members.entries()[0].address), QStringLiteral("boss@example.com"));
    }

    void existingListIsShownAndWrittenBack() {
        writeList("Jokes",
                  "; kept as it is\r\n[General]\r\nName=Jokes\r\nSubscribe= join \r\nUnsubscribe=leave\r\n"
                  "AdminSubscribe=no\r\nAdminUnsubscribe=01\r\nAdminSubmit=\r\nColour=green\r\n"
                  "[POP3]\r\nServer=pop.example.org:1110\r\nUsername=jokes\r\nPassword=secret\r\n"
                  "[SMTP]\r\nServer=smtp.example.org\r\nFrom=jokes@example.org\r\nStripHTML=0\r\n"
                  "[Messages]\r\nPrepend=head.txt\r\n",
                  "zed@example.com\r\n_!_Boss@example.com\r\nann@example.com\r\n\r\n_!_Carl@example.com\r\n");
        auto w = open(QStringLiteral("Jokes"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Configure Jokes"));
        QCOMPARE(w->txtSubscribe->text(), QStringLiteral("JOIN"));  // the INI reader drops the blanks
        QCOMPARE(w->txtUnsubscribe->text(), QStringLiteral("LEAVE"));
        QCOMPARE(w->txtSubmit->text(), QStringLiteral("SUBMIT"));
        // Flags as the engine reads them: off only when the value starts with '0'.
        QVERIFY(w->chkSubscribe->isChecked());
        QVERIFY(!w->chkUnsubscribe->isChecked());
        QVERIFY(w->chkSubmit->isChecked());
        QVERIFY(w->chkStripAttachments->isChecked());
        QVERIFY(!w->chkStripHTML->isChecked());
        QCOMPARE(w->txtPOP3Server->text(), QStringLiteral("pop.example.org:1110"));
        QCOMPARE(w->txtSMTPReplyTo->text(), QStringLiteral("list@example.com"));
        QCOMPARE(w->txtPrepend->text(), QStringLiteral("head.txt"));
        QCOMPARE(w->txtPostpend->text(), QStringLiteral("Postpend.TXT"));
        QCOMPARE(w->txtWelcome->text(), QStringLiteral("Welcome.TXT"));
        QCOMPARE(w->txtKeep->text(), QStringLiteral("5"));  // no Keep key
        QCOMPARE(w->txtBounceLimit->text(), QStringLiteral("0"));  // written before bounces were counted
        QCOMPARE(w->txtBounceDays->text(), QStringLiteral("14"));
        // Sorted ignoring case; filling asked nothing.
        QCOMPARE(entries(*w), (QStringList{"[ ] ", "[ ] ann@example.com", "[x] Boss@example.com",
                                          "[x] Carl@example.com", "[ ] zed@example.com"}));
        QCOMPARE(dialogs_.shown.size(), size_t(0));

        dialogs_.answers = {true, true};  // HTML allowed; attachments stripped, submissions approved
        w->cmdOK->click();
        QVERIFY(!w->isVisible());
        QCOMPARE(home_->read("Jokes/Members.TXT"),
                 std::string("_!_Boss@example.com\r\n_!_Carl@example.com\r\n\r\nann@example.com\r\nzed@example.com\r\n"));
        QCOMPARE(home_->read("Jokes/Members.OLD"),
                 std::string("zed@example.com\r\n_!_Boss@example.com\r\nann@example.com\r\n\r\n_!_Carl@example.com\r\n"));
        const std::string ini = home_->read("Jokes/Settings.INI");
        QVERIFY(ini.rfind("; kept as it is\r\n[General]\r\nName=Jokes\r\nSubscribe=JOIN\r\nUnsubscribe=LEAVE\r\n", 0) == 0);
        for (const char* line : {"AdminSubscribe=1\r\n", "AdminUnsubscribe=0\r\n", "AdminSubmit=1\r\n",
                                 "Colour=green\r\n", "Submit=SUBMIT\r\n", "StripHTML=0\r\n", "Keep=5\r\n",
                                 "Postpend=Postpend.TXT\r\n", "ReplyTo=list@example.com\r\n"})
            QVERIFY2(ini.find(line) != std::string::npos, line);
        QVERIFY2(ini.find("Bounce") == std::string::npos, ini.c_str());  // still counts no bounces
    }

    void keepTakesTheLeadingNumber() {
        const std::vector<std::pair<QString, std::string>> cases = {
            {"12 days", "Keep=12\r\n"}, {"2.5", "Keep=2.5\r\n"}, {"days", "Keep=0\r\n"}, {" 7", "Keep=7\r\n"}};
        for (const auto& [typed, line] : cases) {
            fs::remove_all(home_->file("Jokes"));  // each a new list
            auto w = validList();
            w->txtKeep->setText(typed);
            w->cmdOK->click();
            QVERIFY(!w->isVisible());
            QVERIFY2(home_->read("Jokes/Settings.INI").find(line) != std::string::npos, line.c_str());
        }
        writeList("Old", "[Messages]\r\nKeep=12abc\r\n", "_!_a@b.cd\r\n");
        QCOMPARE(open(QStringLiteral("Old"))->txtKeep->text(), QStringLiteral("12"));
    }

    void commandsEqualExceptForCaseOrSpacesAreRefused() {
        auto w = validList();
        w->txtSubscribe->setText(QStringLiteral("join"));
        w->txtUnsubscribe->setText(QStringLiteral(" JOIN "));
        w->cmdOK->click();
        expectRefused(*w, QStringLiteral("The subscribe command and unsubscribe command must not be identical."), 0,
                      w->txtUnsubscribe);
        w->txtUnsubscribe->setText(QStringLiteral("leave"));
        w->txtSubmit->setText(QStringLiteral("Join"));
        w->selectPage(3);
        w->cmdOK->click();
        expectRefused(*w, QStringLiteral("The subscribe command and submit command must not be identical."), 0,
                      w->txtSubmit);
        w->txtSubmit->setText(QStringLiteral("LEAVE "));
        w->cmdOK->click();
        expectRefused(*w, QStringLiteral("The unsubscribe command and submit command must not be identical."), 0,
                      w->txtSubmit);
        QVERIFY(!fs::exists(home_->file("Jokes")));

        // A command typed in small letters is written in capitals.
        w->txtSubmit->setText(QStringLiteral("post"));
        w->cmdOK->click();
        QVERIFY(!w->isVisible());
        const std::string ini = home_->read("Jokes/Settings.INI");
        for (const char* line : {"Subscribe=JOIN\r\n", "Unsubscribe=LEAVE\r\n", "Submit=POST\r\n"})
            QVERIFY2(ini.find(line) != std::string::npos, line);
    }

    void emptySubmitCommandAsksFirst() {
        auto w = validList();
        w->txtSubmit->setText(QStringLiteral("  "));
        dialogs_.answers = {false};
        w->cmdOK->click();
        QCOMPARE(dialogs_.last()->kind, QStringLiteral("question"));
        QCOMPARE(dialogs_.last()->text,
                 QStringLiteral("Without specifying a submit command, the Ringpost is subject to auto-responders and "
                                "quite possibly bounce messages. This is usually an UNdesireable effect. Are you sure "
                                "you wish omit a submit command?"));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Question);
        QCOMPARE(w->currentPage(), 0);
        QCOMPARE(w->focusWidget(), w->txtSubmit);
        QVERIFY(!fs::exists(home_->file("Jokes")));
        dialogs_.answers = {true};
        w->cmdOK->click();
        QVERIFY(!w->isVisible());
        QVERIFY(home_->read("Jokes/Settings.INI").find("Submit=\r\n") != std::string::npos);
    }

    void requiredFieldsInOrder() {
        auto w = validList();
        struct Case {
            QLineEdit* field;
            QString message;
            int page;
        };
        const std::vector<Case> cases = {
            {w->txtName, "You must enter a name for this list.", 0},
            {w->txtSubscribe, "You must enter a subscribe command for this list.", 0},
            {w->txtUnsubscribe, "You must enter an unsubscribe command for this list.", 0},
            {w->txtPOP3Server, "You must enter a POP3 server for this list.", 1},
            {w->txtPOP3Username, "You must enter a POP3 username for this list.", 1},
            {w->txtPOP3Password, "You must enter a POP3 password for this list.", 1},
            {w->txtSMTPServer, "You must enter an SMTP server for this list.", 2},
            {w->txtSMTPFrom, "You must enter an SMTP from for this list.", 2},
        };
        // Emptied all at once, they are reported one after the other.
        for (const Case& c : cases) c.field->setText(QStringLiteral("   "));
        for (const Case& c : cases) {
            w->selectPage(4);
            w->cmdOK->click();
            expectRefused(*w, c.message, c.page, c.field);
            c.field->setText(c.field == w->txtName          ? QStringLiteral("Jokes")
                             : c.field == w->txtSubscribe   ? QStringLiteral("in")
                             : c.field == w->txtUnsubscribe ? QStringLiteral("out")
                                                            : QStringLiteral("x"));
        }
        // Reply-To and the message files are not checked.
        for (QLineEdit* f : {w->txtSMTPReplyTo, w->txtPrepend, w->txtPostpend, w->txtWelcome, w->txtKeep}) f->clear();
        QCOMPARE(dialogs_.count("question"), 0);
        w->cmdOK->click();
        QVERIFY(!w->isVisible());
    }

    void membersAndAdministratorsAreRequired() {
        auto w = open();
        w->selectPage(0);
        w->cmdOK->click();
        expectRefused(*w, QStringLiteral("You must enter at least one member to this list."), 3, w->txtMember);
        add(*w, QStringLiteral("ann@example.com"));
        add(*w, QStringLiteral("bob@example.com"));
        w->cmdOK->click();
        expectRefused(*w, QStringLiteral("You must have at least one administrator for this list."), 3, w->lstMembers);
        QVERIFY(!fs::exists(home_->file("New List")));
    }

    void attachmentAndHtmlQuestionsInARow() {
        const QString q13 = QStringLiteral(
            "By requiring Administrator approval for submissions and allowing attachments, the Ringpost sends all "
            "submissions INCLUDING all attachments to each Administrator, for approval. This will SLOW down the "
            "Ringpost considerably and is usually an UNdesireable effect. Are you sure you wish to require "
            "Administrator approval for submissions and allow attachments?");
        const QString q14 = QStringLiteral(
            "By allowing attachments, the Ringpost is subject to viruses and quite possibly bounce messages. This is "
            "usually an UNdesireable effect. Are you sure you wish to allow attachments?");
        const QString q15 = QStringLiteral(
            "By allowing HTML, the Ringpost is subject to viruses and quite possibly unreadble messages for some of "
            "the members. This is usually an UNdesireable effect. Are you sure you wish to allow HTML?");
        auto w = validList();
        w->chkSubmit->setChecked(true);
        w->chkStripAttachments->setChecked(false);
        w->chkStripHTML->setChecked(false);
        const std::vector<std::pair<std::deque<bool>, QWidget*>> runs = {
            {{false}, w->chkStripAttachments}, {{true, false}, w->chkStripAttachments}, {{true, true, false}, w->chkStripHTML}};
        for (const auto& [answers, focus] : runs) {
            dialogs_.clear();
            dialogs_.answers = answers;
            w->selectPage(0);
            w->cmdOK->click();
            QCOMPARE(dialogs_.shown.size(), answers.size());
            const QStringList expected = {q13, q14, q15};
            for (size_t i = 0; i < answers.size(); ++i) {
                QCOMPARE(dialogs_.shown[i].text, expected[int(i)]);
                QCOMPARE(dialogs_.shown[i].kind, QStringLiteral("question"));
            }
            QVERIFY(w->isVisible());
            QCOMPARE(w->currentPage(), 2);
            QCOMPARE(w->focusWidget(), focus);
            QVERIFY(!fs::exists(home_->file("Jokes")));
        }
        // Without submission approval only 14 (and 15) are asked.
        w->chkSubmit->setChecked(false);
        dialogs_.clear();
        dialogs_.answers = {true, true};
        w->cmdOK->click();
        QCOMPARE(dialogs_.shown.size(), size_t(2));
        QCOMPARE(dialogs_.shown[0].text, q14);
        QVERIFY(!w->isVisible());
        const std::string ini = home_->read("Jokes/Settings.INI");
        QVERIFY(ini.find("StripAttachments=0\r\nStripHTML=0\r\n") != std::string::npos);
    }

    void addingMembers() {
        auto w = open();
        w->selectPage(3);
        add(*w, QStringLiteral("  Ann@Example.com  "));
        QCOMPARE(entries(*w), QStringList{"[ ] Ann@Example.com"});
        QCOMPARE(w->txtMember->text(), QString());
        add(*w, QStringLiteral("zed@example.com"));
        add(*w, QStringLiteral("bob@example.com"));
        QCOMPARE(entries(*w), (QStringList{"[ ] Ann@Example.com", "[ ] bob@example.com", "[ ] zed@example.com"}));

        w->lstMembers->setCurrentRow(2);
        add(*w, QStringLiteral(" ann@example.COM"));
        QCOMPARE(dialogs_.last()->text, QStringLiteral("ann@example.COM is already a member of this list."));
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Add Member"));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Information);
        QCOMPARE(w->lstMembers->currentItem()->text(), QStringLiteral("Ann@Example.com"));
        QCOMPARE(w->txtMember->text(), QStringLiteral(" ann@example.COM"));
        QCOMPARE(w->lstMembers->count(), 3);

        dialogs_.clear();
        add(*w, QStringLiteral("   "));
        QCOMPARE(dialogs_.shown.size(), size_t(0));
        QCOMPARE(w->lstMembers->count(), 3);

        // What would read back as an administrator or break a line is refused.
        for (const QString& bad : {QStringLiteral("_!_sneaky@example.com"), QStringLiteral("  _!_x@example.com"),
                                   QStringLiteral("tab\there@example.com"), QStringLiteral("a\x7f@example.com")}) {
            dialogs_.clear();
            add(*w, bad);
            QCOMPARE(dialogs_.count("message"), 1);
            QCOMPARE(dialogs_.last()->title, QStringLiteral("Add Member"));
            QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);
            QCOMPARE(w->lstMembers->count(), 3);
        }
        // Anything else is taken as typed.
        add(*w, QStringLiteral("not an address"));
        QCOMPARE(w->lstMembers->count(), 4);
    }

    void removingMembers() {
        auto w = open();
        add(*w, QStringLiteral("ann@example.com"));
        add(*w, QStringLiteral("bob@example.com"));
        dialogs_.clear();
        w->selectPage(3);
        w->lstMembers->setCurrentRow(-1);
        w->cmdRemove->click();
        QCOMPARE(dialogs_.shown.size(), size_t(0));

        w->lstMembers->setCurrentRow(1);
        dialogs_.answers = {false};
        w->cmdRemove->click();
        QCOMPARE(dialogs_.last()->text, QStringLiteral("Remove bob@example.com from the list? Are you sure?"));
        QCOMPARE(dialogs_.last()->title, QStringLiteral("Remove Member"));
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Question);
        QCOMPARE(w->lstMembers->count(), 2);
        dialogs_.answers = {true};
        w->cmdRemove->click();
        QCOMPARE(entries(*w), QStringList{"[ ] ann@example.com"});
        QCOMPARE(w->lstMembers->currentRow(), 0);
        dialogs_.answers = {true};
        w->cmdRemove->click();
        QCOMPARE(w->lstMembers->count(), 0);
        QCOMPARE(w->lstMembers->currentRow(), -1);
    }

    void administratorChangesAreConfirmed() {
        auto w = open();
        add(*w, QStringLiteral("ann@example.com"));
        QListWidgetItem* ann = entry(*w, QStringLiteral("ann@example.com"));
        dialogs_.clear();
        dialogs_.answers = {false};
        ann->setCheckState(Qt::Checked);  // the mark goes away again, asked once
        QCOMPARE(dialogs_.count("question"), 1);
        QCOMPARE(ann->checkState(), Qt::Unchecked);

        dialogs_.answers = {true};
        ann->setCheckState(Qt::Checked);
        QCOMPARE(ann->checkState(), Qt::Checked);

        dialogs_.clear();
        dialogs_.answers = {false};
        ann->setCheckState(Qt::Unchecked);  // stays an administrator
        QCOMPARE(dialogs_.count("question"), 1);
        QCOMPARE(dialogs_.last()->text, QStringLiteral("Are you sure you wish to remove ann@example.com as an administrator?"));
        QCOMPARE(ann->checkState(), Qt::Checked);
        dialogs_.answers = {true};
        ann->setCheckState(Qt::Unchecked);
        QCOMPARE(ann->checkState(), Qt::Unchecked);

        // Changing other things on the entry asks nothing; nor does a hidden window.
        dialogs_.clear();
        ann->setToolTip(QStringLiteral("tip"));
        w->hide();
        ann->setCheckState(Qt::Checked);
        QCOMPARE(dialogs_.shown.size(), size_t(0));
    }

    void cancelEscapeAndCloseBoxWriteNothing() {
        writeList("Jokes", "[General]\r\nName=Jokes\r\n", "_!_boss@example.com\r\n");
        const auto before = tree(home_->path());
        const std::vector<std::function<void(frmConfigure&)>> ways = {
            [](frmConfigure& w) { w.cmdCancel->click(); },
            [](frmConfigure& w) { QTest::keyClick(&w, Qt::Key_Escape); },
            [](frmConfigure& w) { w.close(); },
        };
        for (const auto& way : ways) {
            for (const QString& list : {QString(), QStringLiteral("Jokes")}) {
                auto w = open(list);
                w->txtName->setText(QStringLiteral("Changed"));
                add(*w, QStringLiteral("new@example.com"), true);
                way(*w);
                QVERIFY(!w->isVisible());
                QCOMPARE(w->result(), int(QDialog::Rejected));
            }
        }
        QCOMPARE(tree(home_->path()), before);
        QCOMPARE(home_->read("Jokes/Settings.INI"), std::string("[General]\r\nName=Jokes\r\n"));
    }

    void namesThatAreNoDirectoryNameAreRefused() {
        auto w = validList();
        const QString message = QStringLiteral(
            "The name of a list is the name of its directory: it can not be \".\" or \"..\", nor hold control "
            "characters or any of these characters: \\ / : * ? \" < > |");
        for (const QString& name : {QStringLiteral("../escape"), QStringLiteral("a/b"), QStringLiteral("a\\b"),
                                    QStringLiteral(" . "), QStringLiteral(".."), QStringLiteral("C:"),
                                    QStringLiteral("all*"), QStringLiteral("who?"), QStringLiteral("\"q\""),
                                    QStringLiteral("<a>"), QStringLiteral("x|y"), QStringLiteral("tab\tname")}) {
            w->txtName->setText(name);
            w->selectPage(2);
            w->cmdOK->click();
            expectRefused(*w, message, 0, w->txtName);
        }
        QCOMPARE(tree(home_->path()).size(), size_t(0));
        QVERIFY(!fs::exists(fs::path(home_->path()).parent_path() / "escape"));
        // Dots inside a name are fine.
        w->txtName->setText(QStringLiteral("v1.2 news..."));
        w->cmdOK->click();
        QVERIFY(fs::exists(home_->file("v1.2 news.../Members.TXT")));
    }

    void newListNeverTakesOverAnother() {
        writeList("Jokes", "[General]\r\nName=Jokes\r\n", "_!_boss@example.com\r\n");
        fs::rename(home_->file("Jokes/Settings.INI"), home_->file("Jokes/settings.ini"));
        const auto before = tree(home_->path());
        // Another letter case of the same name is the same list.
        for (const QString& name : {QStringLiteral("Jokes"), QStringLiteral("JOKES")}) {
            auto w = validList(name);
            w->cmdOK->click();
            expectRefused(*w, QStringLiteral("A list named ") + name +
                                  QStringLiteral(" already exists. Choose another name, or open that list with "
                                                 "Configure..."),
                          0, w->txtName);
            QCOMPARE(tree(home_->path()), before);
            QVERIFY(w->savedDirectory().empty());
        }
        // A directory without list files is taken as it is.
        home_->mkdir("Puns");
        home_->write("Puns/welcome.txt", "hello\r\n");
        auto w = validList(QStringLiteral("Puns"));
        w->cmdOK->click();
        QVERIFY(!w->isVisible());
        QCOMPARE(w->savedDirectory(), std::string("Puns"));
        QCOMPARE(home_->read("Puns/welcome.txt"), std::string("hello\r\n"));
        QVERIFY(fs::exists(home_->file("Puns/Settings.INI")));
    }

    // A list whose directory is not named like its Name setting.
    void savesIntoTheDirectoryItWasOpenedOn() {
        struct Row {
            const char* what;
            QString newName;
            std::deque<bool> answers;  // the rename question, when asked
            bool asked;
            bool saved;
            std::string directory;  // where the files are afterwards
        };
        const std::vector<Row> rows = {
            {"unchanged", QStringLiteral("Jokes of the Day"), {}, false, true, "jokes-dir"},
            {"renamed, directory kept", QStringLiteral("Puns"), {false}, true, true, "jokes-dir"},
            {"renamed with its directory", QStringLiteral("Puns"), {true}, true, true, "Puns"},
            {"renamed after its directory", QStringLiteral("jokes-dir"), {}, false, true, "jokes-dir"},
            {"only the letter case", QStringLiteral("JOKES-DIR"), {true}, true, true, "JOKES-DIR"},
            {"onto another list", QStringLiteral("Other"), {true}, true, false, "jokes-dir"},
            {"onto another list in other letters", QStringLiteral("other"), {true}, true, false, "jokes-dir"},
        };
        for (const Row& row : rows) {
            init();
            writeList("jokes-dir", "[General]\r\nName=Jokes of the Day\r\n", "_!_boss@example.com\r\n");
            writeList("Other", "[General]\r\nName=Other\r\n", "_!_other@example.com\r\n");
            const auto before = tree(home_->path());
            auto w = open(QStringLiteral("jokes-dir"));
            QCOMPARE(w->txtName->text(), QStringLiteral("Jokes of the Day"));
            w->txtName->setText(row.newName);
            dialogs_.answers = row.answers;
            w->cmdOK->click();
            QCOMPARE(dialogs_.count("question"), row.asked ? 1 : 0);
            if (row.asked) {
                QCOMPARE(dialogs_.shown.front().title, QStringLiteral("Rename List"));
                QVERIFY2(dialogs_.shown.front().text.startsWith(
                             QStringLiteral("The name of this list has changed. Rename its directory \"jokes-dir\" "
                                            "to \"") + row.newName + QStringLiteral("\" as well?")),
                         row.what);
            }
            QCOMPARE(w->isVisible(), !row.saved);
            if (!row.saved) {
                expectRefused(*w, QStringLiteral("A directory named ") + row.newName +
                                      QStringLiteral(" already exists beside the program, so the list can not be "
                                                     "renamed to it. Choose another name."),
                              0, w->txtName);
                QCOMPARE(tree(home_->path()), before);
                continue;
            }
            QCOMPARE(w->savedDirectory(), row.directory);
            // Never a second list: the home holds the two lists it held.
            std::vector<std::string> lists;
            for (const auto& e : fs::directory_iterator(home_->path())) lists.push_back(e.path().filename());
            std::sort(lists.begin(), lists.end());
            std::vector<std::string> expected = {"Other", row.directory};
            std::sort(expected.begin(), expected.end());
            QCOMPARE(lists, expected);
            const std::string ini = home_->read(row.directory + "/Settings.INI");
            QVERIFY2(ini.find("Name=" + row.newName.toStdString() + "\r\n") != std::string::npos, row.what);
            QCOMPARE(home_->read(row.directory + "/Members.TXT"), std::string("_!_boss@example.com\r\n"));
            QCOMPARE(home_->read("Other/Members.TXT"), std::string("_!_other@example.com\r\n"));
        }
    }

    void mainWindowShowsASavedListAtOnce() {
        writeList("Jokes", "[General]\r\nName=Jokes\r\n", "_!_boss@example.com\r\n");
        frmMain main(dialogs_, home_->path());
        main.load();
        main.show();
        QString typedName = QStringLiteral("Puns");
        main.openListEditor = [&](const QString& name) {
            frmConfigure editor(dialogs_, home_->path(), &main);
            if (!name.isEmpty()) editor.PopulateFormWith(name);
            editor.show();
            if (name.isEmpty()) add(editor, QStringLiteral("boss@example.com"), true);
            editor.txtName->setText(typedName);
            dialogs_.answers.push_back(true);  // rename the directory, when asked
            editor.cmdOK->click();
            return editor.savedDirectory();
        };
        main.cmdNew->click();
        QCOMPARE(main.lstLists->count(), 2);
        QCOMPARE(main.lstLists->currentItem()->text(), QStringLiteral("Puns"));
        QCOMPARE(main.lblStatus->text(), QStringLiteral("List Puns saved. The service reads it when it starts."));

        // Renamed with its directory: the entry follows.
        typedName = QStringLiteral("Riddles");
        main.cmdConfigure->click();
        QStringList names;
        for (int i = 0; i < main.lstLists->count(); ++i) names << main.lstLists->item(i)->text();
        QCOMPARE(names, (QStringList{"Jokes", "Riddles"}));
        QCOMPARE(main.lstLists->currentItem()->text(), QStringLiteral("Riddles"));
        dialogs_.answers.clear();
    }

    void layout() {
        auto w = open();
        // Tab goes down the General page line by line.
        const std::vector<QWidget*> chain = {w->txtName,        w->txtSubscribe,  w->chkSubscribe,
                                             w->txtUnsubscribe, w->chkUnsubscribe, w->txtSubmit,
                                             w->chkSubmit,      w->txtBounceLimit, w->txtBounceDays};
        const auto nextTabStop = [](QWidget* w) {
            do w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
            return w;
        };
        for (size_t i = 0; i + 1 < chain.size(); ++i) QCOMPARE(nextTabStop(chain[i]), chain[i + 1]);
        // A member's check box is not yellow on the yellow list.
        add(*w, QStringLiteral("boss@example.com"));
        w->selectPage(3);
        QStyleOptionViewItem option;
        option.initFrom(w->lstMembers->viewport());
        option.rect = w->lstMembers->visualItemRect(w->lstMembers->item(0));
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = w->lstMembers->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option,
                                                                 w->lstMembers);
        const QImage img = w->lstMembers->viewport()->grab().toImage();
        QCOMPARE(img.pixelColor(QPoint(5, img.height() - 5)), QColor(255, 255, 0));  // the list itself
        QCOMPARE(img.pixelColor(box.center()), QColor(Qt::white));
    }

    void failedSaveKeepsTheOldFilesAndTheWindow() {
        writeList("Jokes", "[General]\r\nName=Jokes\r\n", "_!_boss@example.com\r\n");
        auto w = open(QStringLiteral("Jokes"));
        add(*w, QStringLiteral("new@example.com"), true);
        const auto before = tree(home_->path());
        fs::permissions(home_->file("Jokes"), fs::perms::owner_read | fs::perms::owner_exec);
        // Permissions do not stop root; a file size limit of 0 does.
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (geteuid() == 0) {
            rlimit none = saved;
            none.rlim_cur = 0;
            setrlimit(RLIMIT_FSIZE, &none);
        }
        w->cmdOK->click();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        fs::permissions(home_->file("Jokes"), fs::perms::owner_all);

        QVERIFY(w->isVisible());
        QCOMPARE(dialogs_.count("message"), 1);
        QVERIFY2(dialogs_.last()->text.startsWith(QStringLiteral("Error: ")), qPrintable(dialogs_.last()->text));
        QVERIFY(dialogs_.last()->text.size() > 7);
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);
        QCOMPARE(tree(home_->path()), before);
        QCOMPARE(home_->read("Jokes/Members.TXT"), std::string("_!_boss@example.com\r\n"));
        QCOMPARE(home_->read("Jokes/Settings.INI"), std::string("[General]\r\nName=Jokes\r\n"));

        // Once the directory is writable again the same window saves.
        w->cmdOK->click();
        QVERIFY(!w->isVisible());
        QCOMPARE(home_->read("Jokes/Members.TXT"), std::string("_!_boss@example.com\r\n_!_new@example.com\r\n"));
    }

    // Group members write in a list too: links planted at its files are
    // replaced by what is saved, never read or written through.
    void linksAtTheListFilesAreReplacedNeverFollowed() {
        TempDir elsewhere;
        const std::string secret = "[General]\r\nName=Secret\r\nColour=of another list\r\n";
        elsewhere.write("Settings.INI", secret);
        elsewhere.write("Members.TXT", "_!_other@example.com\r\n");
        home_->mkdir("Jokes");
        for (const char* file : {"Settings.INI", "Members.TXT"})
            QCOMPARE(::symlink(elsewhere.file(file).c_str(), home_->file(std::string("Jokes/") + file).c_str()), 0);
        auto w = open(QStringLiteral("Jokes"));
        QCOMPARE(w->txtName->text(), QStringLiteral("New List"));  // read as no file
        add(*w, QStringLiteral("boss@example.com"), true);
        w->cmdOK->click();
        QVERIFY(!w->isVisible());
        QCOMPARE(elsewhere.read("Settings.INI"), secret);
        QCOMPARE(elsewhere.read("Members.TXT"), std::string("_!_other@example.com\r\n"));
        QVERIFY(fs::is_regular_file(fs::symlink_status(home_->file("Jokes/Settings.INI"))));
        const std::string ini = home_->read("Jokes/Settings.INI");
        QVERIFY2(ini.rfind("[General]\r\nName=New List\r\n", 0) == 0 && ini.find("Colour") == std::string::npos,
                 ini.c_str());
        QVERIFY(fs::is_regular_file(fs::symlink_status(home_->file("Jokes/Members.TXT"))));
        QCOMPARE(home_->read("Jokes/Members.TXT"), std::string("_!_boss@example.com\r\n"));
    }

    void windows1252TextKeepsItsBytes() {
        writeList("Caf\xe9",
                  "[General]\r\nName=Caf\xe9\r\n[SMTP]\r\nFrom=caf\xe9@example.com\r\nReplyTo=\xc3\xa9t\xc3\xa9@example.com\r\n"
                  "[Messages]\r\nPrepend=pr\xe9.txt\r\nWelcome=bienvenue \x80\x9d.txt\r\n",
                  "_!_j\xfcrgen@example.com\r\nren\xc3\xa9@example.com\r\n");
        // The main window lists the directory under the same decoded name.
        const QString name = QStringLiteral("Caf\u00e9");
        auto w = open(name);
        QCOMPARE(w->txtName->text(), name);
        QCOMPARE(w->txtSMTPFrom->text(), QStringLiteral("caf\u00e9@example.com"));
        QCOMPARE(w->txtSMTPReplyTo->text(), QStringLiteral("\u00e9t\u00e9@example.com"));  // UTF-8 stays UTF-8
        // 0x9D is one of the five bytes Windows-1252 leaves undefined: shown as
        // U+FFFD, never as a control character, and kept as it was.
        QCOMPARE(w->txtWelcome->text(), QStringLiteral("bienvenue \u20ac\ufffd.txt"));
        QCOMPARE(entries(*w), (QStringList{"[x] j\u00fcrgen@example.com", "[ ] ren\u00e9@example.com"}));

        w->txtPrepend->setText(QStringLiteral("pr\u00e9 2.txt"));  // edited: back in Windows-1252
        w->txtPostpend->setText(QStringLiteral("\u00fcber.txt"));  // typed anew: UTF-8
        w->txtSMTPReplyTo->setText(QStringLiteral("\u00e9t\u00e9 @example.com"));
        w->cmdOK->click();
        QVERIFY(!w->isVisible());
        const std::string ini = home_->read("Caf\xe9/Settings.INI");
        for (const char* line : {"Name=Caf\xe9\r\n", "From=caf\xe9@example.com\r\n", "Prepend=pr\xe9 2.txt\r\n",
                                 "Welcome=bienvenue \x80\x9d.txt\r\n", "ReplyTo=\xc3\xa9t\xc3\xa9 @example.com\r\n"})
            QVERIFY2(ini.find(line) != std::string::npos, line);
        QVERIFY(ini.find("Postpend=\xc3\xbc" "ber.txt\r\n") != std::string::npos);
        QCOMPARE(home_->read("Caf\xe9/Members.TXT"),
                 std::string("_!_j\xfcrgen@example.com\r\nren\xc3\xa9@example.com\r\n"));
        QVERIFY(!fs::exists(home_->file("Caf\xc3\xa9")));
    }

    void mainWindowOpensTheEditorModally() {
        writeList("Jokes", "[General]\r\nName=Jokes\r\n[POP3]\r\nUsername=jokes\r\n", "_!_boss@example.com\r\n");
        frmMain main(dialogs_, home_->path());
        main.load();
        main.show();
        QString title, user;
        bool modal = false;
        int rounds = 0;
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [&] {
            if (auto* editor = qobject_cast<frmConfigure*>(QApplication::activeModalWidget())) {
                timer->stop();
                title = editor->windowTitle();
                user = editor->txtPOP3Username->text();
                modal = editor->isModal();
                editor->cmdCancel->click();
            } else if (++rounds > 500) {
                timer->stop();
            }
        });
        timer->start(20);
        main.cmdNew->click();
        QVERIFY(modal);
        QCOMPARE(title, QStringLiteral("Configure New List"));
        QCOMPARE(user, QStringLiteral("ringpost"));
        rounds = 0;
        timer->start(20);
        main.cmdConfigure->click();
        QCOMPARE(title, QStringLiteral("Configure Jokes"));
        QCOMPARE(user, QStringLiteral("jokes"));
        delete timer;
    }
};

QTEST_MAIN(EditorTest)
#include "EditorTest.moc"
