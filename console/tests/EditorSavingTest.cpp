// The list editor with scripted dialogs: members and administrators, what
// is written and where, and the cases that must write nothing.
#include "EditorFixture.h"
#include "frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <csignal>
#include <deque>

namespace fs = std::filesystem;
#include <sys/resource.h>
#include <unistd.h>

class EditorSavingTest : public QObject, EditorFixture {
    Q_OBJECT
private slots:
    void init() { reset(); }
    void cleanup() { QCOMPARE(dialogs_.unexpectedQuestions, 0); }
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
                                             w->chkSubmit,      w->txtBounceLimit, w->txtBounceDays,
                                             w->txtAdminPassword};
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

QTEST_MAIN(EditorSavingTest)
#include "EditorSavingTest.moc"
