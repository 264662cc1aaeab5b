// The list editor with scripted dialogs: defaults, pages, every save check
// and the questions it asks.
#include "ClickableLabel.h"
#include "EditorFixture.h"
#include "GradientPanel.h"
#include "engine/ListLoading.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <deque>

namespace fs = std::filesystem;

namespace {

const std::string kDefaultSettings =
    "[General]\r\nName=New List\r\nSubscribe=SUBSCRIBE\r\nUnsubscribe=UNSUBSCRIBE\r\nSubmit=SUBMIT\r\n"
    "AdminSubscribe=1\r\nAdminUnsubscribe=0\r\nAdminSubmit=0\r\nBounceLimit=5\r\n"
    "[POP3]\r\nServer=mail.example.com\r\nUsername=ringpost\r\nPassword=vemdarol\r\n"
    "[SMTP]\r\nServer=mail.example.com\r\nFrom=list@example.com\r\nReplyTo=list@example.com\r\n"
    "StripAttachments=1\r\nStripHTML=1\r\n"
    "[Messages]\r\nPrepend=Prepend.txt\r\nPostpend=Postpend.txt\r\nWelcome=Welcome.txt\r\nKeep=0\r\n";

}  // namespace

class EditorTest : public QObject, EditorFixture {
    Q_OBJECT
private slots:
    void init() { reset(); }
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
            {w->txtMaxPerMinute, "0"},
            {w->txtMaxPerHour, "0"},
            {w->txtMaxPerDay, "0"},
            {w->txtAdminPassword, ""},
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
        QCOMPARE(w->txtAdminPassword->echoMode(), QLineEdit::Password);

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
                  "TrustAuthServId=mx.example.org\r\nAdminPassword= s3cret \r\n"
                  "[POP3]\r\nServer=pop.example.org:1110\r\nUsername=jokes\r\nPassword=secret\r\n"
                  "[SMTP]\r\nServer=smtp.example.org\r\nFrom=jokes@example.org\r\nStripHTML=0\r\nMaxPerDay=500\r\n"
                  "[Messages]\r\nPrepend=head.txt\r\n",
                  "zed@example.com\r\n_!_Boss@example.com\r\nann@example.com\r\n\r\n_!_Carl@example.com\r\n");
        fs::permissions(home_->file("Jokes/Settings.INI"), fs::perms::owner_read | fs::perms::owner_write);
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
        QCOMPARE(w->txtMaxPerMinute->text(), QStringLiteral("0"));
        QCOMPARE(w->txtMaxPerDay->text(), QStringLiteral("500"));
        w->txtMaxPerHour->setText(QStringLiteral("100 recipients"));
        QCOMPARE(w->txtAdminPassword->text(), QStringLiteral("s3cret"));
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
                                 "Postpend=Postpend.TXT\r\n", "ReplyTo=list@example.com\r\n",
                                 "TrustAuthServId=mx.example.org\r\n", "AdminPassword=s3cret\r\n"})
            QVERIFY2(ini.find(line) != std::string::npos, line);
        QVERIFY2(ini.find("Bounce") == std::string::npos, ini.c_str());  // still counts no bounces
        QVERIFY2(ini.find("MaxPerMinute") == std::string::npos, ini.c_str());
        const auto list = LoadList(home_->file("Jokes"));
        QCOMPARE(list->maxPerMinute, 0);
        QCOMPARE(list->maxPerHour, 100);
        QCOMPARE(list->maxPerDay, 500);
        // The passwords in it stay the owner's alone.
        QCOMPARE(fs::status(home_->file("Jokes/Settings.INI")).permissions() & fs::perms::all,
                 fs::perms::owner_read | fs::perms::owner_write);
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
};

QTEST_MAIN(EditorTest)
#include "EditorTest.moc"
