// The help window: topic texts, layout and printing to PDF through the
// dialog interface (checked with pdftotext).
#include "FakeDialogs.h"
#include "HelpPrinting.h"
#include "HelpTopics.h"
#include "SystemDirFixture.h"
#include "clsPrintDlg.h"
#include "frmHelp.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <map>
#include <optional>

namespace {

#define HOST "\"mail.example.com\""
#define ADDRESS "\"jokes@example.com\""

// The paragraphs of each topic after the greeting, as users must read them.
const std::map<int, std::vector<std::string>> kTopics = {
    {0, {
        "To get started, first click the INSTALL button to install the KOVA(tm) Ringpost service.",
        "Now click the ADD... button to create a new Ringpost. Fill in all the required fields and click the OK button.",
        "Finally click the START button to start the Ringpost. That's it!",
    }},
    {2, {
        "Enter the name of the Ringpost, such as \"Joke of the Day\". This is a required field.",
        "Enter a subscribe command, such as \"SUBSCRIBE\". This command is entered in the subject field of an E-Mail by people who want to subscribe to the Ringpost. This is a required field.",
        "Enter an unsubscribe command, such as \"UNSUBSCRIBE\". This command is entered in the subject field of an E-Mail by people who want to unsubscribe to the Ringpost. This is a required field.",
        "Enter a submit command, such as \"SUBMIT\". This command is entered in the subject field of an E-Mail by people who want to send something to the Ringpost.",
        "You can set each command (subscribe, unsubscribe, and submit) to require an Administrator's approval. For example, checking \"Require Admin Approval\" for the SUBSCRIBE command will not allow anyone to subscribe to the Ringpost unless an Administrator approves the subscription. The new users sends a SUBSCRIBE request to the Ringpost, and the Ringpost E-Mails the request to all Administrators. If an Administrator wishes to allow this user to join the Ringpost, they only have to reply to the E-Mail and the Ringpost will subscribe the new user automatically.",
    }},
    {3, {
        "Enter the hostname of the Ringpost's POP3 server, such as " HOST ". This is a required field. IP addresses are acceptable as a hostname.",
        "Enter the username of the Ringpost's POP3 server, such as \"ringpost\". This is a required field.",
        "Enter the password of the Ringpost's POP3 server, such as \"tulsk58\". This is a required field. Please note the password field will only display *'s for security reasons.",
    }},
    {4, {
        "Enter the hostname of the Ringpost's SMTP server, such as " HOST ". This is a required field. IP addresses are acceptable as a hostname.",
        "Enter the From field of the Ringpost, such as " ADDRESS ". This is a required field.",
        "Enter the Reply To field of the Ringpost, such as " ADDRESS ". ",
        "You can have the Ringpost strip all attachments from all submissions. This is a recommended option to reduce the chances of virus transmissions.",
        "You can also have the Ringpost strip all HTML from all submissions. This is a recommended option since only a small portion of the internet uses HTML for E-Mail.",
        "Your mail provider may limit how many recipients the Ringpost's account may send to: Gmail about 500 a day, Google Workspace 2,000 a day, Microsoft 365 30 messages a minute and 10,000 recipients a day. Enter limits a little below your provider's, a minute, an hour or a day; 0 sets no limit. A submission then goes to as many members as the limits allow, and to the others at the Ringpost's next passes.",
    }},
    {5, {
        "Here you can view, add, and remove members of the Ringpost. Members with a check by their E-Mail address are Administrators. The Ringpost must have at least one Administrator, but may have several.",
    }},
    {6, {
        "Enter the prepend text file, such as \"prepend.txt\". This file is a text file added to the beginning of each and every submission. If this field is left blank or the file does not exist, nothing will be added to the beginning of each submission. Please note this is a TEXT file. DO NOT USE MICROSOFT WORD TO EDIT OR CREATE THIS FILE! Use Notepad or similar text editor ONLY!",
        "Enter the postpend text file, such as \"postpend.txt\". This file is a text file added to the end of each and every submission. If this field is left blank or the file does not exist, nothing will be added to the end of each submission. Please note this is a TEXT file. DO NOT USE MICROSOFT WORD TO EDIT OR CREATE THIS FILE! Use Notepad or similar text editor ONLY!",
        "Enter the welcome text file, such as \"welcome.txt\". This file is a text file sent to newly subscribed members. If this field is left blank or the file does not exist, the Ringpost will send a simple, short message to the new user informing them of a successful subscription. Please note this is a TEXT file. DO NOT USE MICROSOFT WORD TO EDIT OR CREATE THIS FILE! Use Notepad or similar text editor ONLY!",
        "Enter the number to days to archive submissions. If this number is zero, submissions will not be archived, and will be deleted as soon as they are sent.",
        "Prepend, postpend, and welcome files should be placed in the:",
        "@HOME@(Ringpost Name)/",
        "directory. Sample files have been included in:",
        "@HOME@",
    }},
};

std::string expectedTopic(int topic, const std::string& home) {
    std::string t = "Thank you for purchasing KOVA(tm) Ringpost.\r\n\r\n";
    const auto& paragraphs = kTopics.at(topic);
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        std::string p = paragraphs[i];
        if (p.rfind("@HOME@", 0) == 0) p = home + p.substr(6);
        t += p;
        // Every paragraph ends with a blank line, except the home directory
        // that closes topic 6.
        if (!(topic == 6 && i + 1 == paragraphs.size())) t += "\r\n\r\n";
    }
    return t;
}

// pdftotext's pages (split at form feeds), each as its lines.
std::vector<QStringList> pdfPages(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000)) return {};
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    QStringList pages = out.split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
    std::vector<QStringList> result;
    for (const QString& page : pages) {
        QStringList lines = page.split(QLatin1Char('\n'));
        while (!lines.isEmpty() && lines.back().trimmed().isEmpty()) lines.removeLast();
        for (QString& l : lines) l = l.trimmed();
        result.push_back(lines);
    }
    return result;
}

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT
    SystemDirFixture sys_;
    TempDir out_;
    int pdfs_ = 0;

    QString nextPdf() { return QString::fromStdString(out_.file("print" + std::to_string(++pdfs_) + ".pdf")); }

    // Prints `text` through the dialog interface, as the help window does.
    std::vector<QStringList> print(const QString& text, const std::function<void(QPrinter&)>& setUp = {}) {
        FakeDialogs dialogs;
        dialogs.pdfPath = nextPdf();
        dialogs.setUpPrinter = setUp;
        clsPrintDlg dlg(dialogs);
        if (!dlg.ShowPrint()) return {};
        printHelpText(dlg, text, QStringLiteral("test"));
        return pdfPages(dialogs.pdfPath);
    }

private slots:
    void topicTexts() {
        for (const auto& [topic, paragraphs] : kTopics) {
            QCOMPARE(helpTopicText(topic, "/opt/ringpost/"), expectedTopic(topic, "/opt/ringpost/"));
        }
    }

    void topicSixNamesTheHomeDirectoryTwice() {
        const std::string t = helpTopicText(6, "/opt/ring post");  // slash added
        QVERIFY(t.find("\r\n\r\n/opt/ring post/(Ringpost Name)/\r\n\r\ndirectory.") != std::string::npos);
        QVERIFY(t.ends_with("included in:\r\n\r\n/opt/ring post/"));
    }

    void windowLayoutAndCaptions() {
        FakeDialogs dialogs;
        frmHelp help(dialogs, "/opt/ringpost/");
        help.setTopic(0);
        QCOMPARE(help.windowTitle(), QStringLiteral("Help"));
        QCOMPARE(help.size(), QSize(640, 480));
        QCOMPARE(help.cmdClose()->text(), QStringLiteral("Close"));
        QCOMPARE(help.cmdClose()->toolTip(), QStringLiteral("Close this screen"));
        QCOMPARE(help.cmdPrint()->text(), QStringLiteral("Print..."));
        QCOMPARE(help.cmdPrint()->toolTip(), QStringLiteral("Print Help Text"));
        QCOMPARE(help.txtHelp()->geometry().topLeft(), QPoint(5, 5));
        QCOMPARE(help.txtHelp()->width(), 630);
        const QRect close = help.cmdClose()->geometry();
        const QRect print = help.cmdPrint()->geometry();
        QCOMPARE(close.right(), 640 - 5 - 1);
        QCOMPARE(close.bottom(), 480 - 5 - 1);
        QCOMPARE(print.right() + 1 + 5, close.left());
        QCOMPARE(help.txtHelp()->geometry().bottom() + 1, 480 - 15 - close.height());
        QCOMPARE(help.helpText(), QString::fromStdString(expectedTopic(0, "/opt/ringpost/")));
        QVERIFY(help.txtHelp()->toPlainText().startsWith(
            QStringLiteral("Thank you for purchasing KOVA(tm) Ringpost.\n\nTo get started")));

        help.show();
        help.resize(800, 600);
        QCoreApplication::processEvents();
        QCOMPARE(help.txtHelp()->width(), 790);
        QCOMPARE(help.cmdClose()->geometry().bottom(), 600 - 5 - 1);
    }

    void cancelPrintsNothing() {
        FakeDialogs dialogs;  // no PDF path: the dialog is cancelled
        frmHelp help(dialogs, "/opt/ringpost/");
        help.setTopic(0);
        help.cmdPrint()->click();
        QCOMPARE(dialogs.count(QStringLiteral("print")), 1);
        const clsPrintDlgFlags f(dialogs.printFlags);
        QVERIFY(f.NoPageNums() && f.NoSelection() && f.ReturnDC() && f.HidePrintToFile());
        QVERIFY(!f.PageNums() && !f.Selection());
    }

    void withoutAPrinterOffersAPdfFile() {
        struct Row {
            const char* what;
            std::deque<bool> answers;
            std::deque<std::optional<QString>> names;
            bool printed;
            QString error;
        };
        const QString pdf = nextPdf();
        const std::vector<Row> rows = {
            {"no PDF wanted", {false}, {}, false, {}},
            {"no file chosen", {true}, {std::nullopt}, false, {}},
            {"a file that can not be written", {true}, {QStringLiteral("/nonexistent/dir/help.pdf")}, false,
             QStringLiteral("The help text could not be printed.")},
            {"a file", {true}, {pdf}, true, {}},
        };
        for (const Row& row : rows) {
            FakeDialogs dialogs;
            dialogs.printerSetUp = false;
            dialogs.answers = row.answers;
            dialogs.saveNames = row.names;
            frmHelp help(dialogs, "/opt/ringpost/");
            help.setTopic(0);
            help.cmdPrint()->click();
            QCOMPARE(dialogs.count(QStringLiteral("print")), 0);  // no dialog without a printer
            QVERIFY2(!dialogs.shown.empty(), row.what);
            QCOMPARE(dialogs.shown[0].kind, QStringLiteral("question"));
            QCOMPARE(dialogs.shown[0].text, QStringLiteral("No printer is set up on this computer. Print the help "
                                                           "text to a PDF file instead?"));
            QCOMPARE(dialogs.count(QStringLiteral("save")), row.names.empty() ? 0 : 1);
            if (!row.error.isEmpty()) {
                QCOMPARE(dialogs.last()->text, row.error);
                QCOMPARE(dialogs.last()->icon, DialogIcon::Error);
            } else {
                QVERIFY2(dialogs.count(QStringLiteral("message")) == 0, row.what);
            }
            QVERIFY2(QFile::exists(pdf) == row.printed, row.what);
        }
        const auto pages = pdfPages(pdf);
        QVERIFY(!pages.empty());
        QCOMPARE(pages[0].value(0), QStringLiteral("Thank you for purchasing KOVA(tm) Ringpost."));
    }

    void printTopicFromTheWindow() {
        FakeDialogs dialogs;
        dialogs.pdfPath = nextPdf();
        frmHelp help(dialogs, "/opt/ringpost/");
        help.setTopic(0);
        help.cmdPrint()->click();
        const auto pages = pdfPages(dialogs.pdfPath);
        QCOMPARE(pages.size(), size_t(1));
        const QStringList& l = pages[0];
        QVERIFY(l.size() >= 9);
        QCOMPARE(l[0], QStringLiteral("Thank you for purchasing KOVA(tm) Ringpost."));
        QCOMPARE(l[1], QString());
        QCOMPARE(l[2], QStringLiteral("To get started, first click the INSTALL button to install the"));
        QCOMPARE(l[3], QStringLiteral("KOVA(tm) Ringpost service."));
        QCOMPARE(l[4], QString());
    }

    void paragraphsWithOneEmptyLineBetween() {
        const auto pages = print(QStringLiteral("First paragraph.\r\n\r\nSecond paragraph."));
        QCOMPARE(pages.size(), size_t(1));
        QCOMPARE(pages[0], (QStringList{QStringLiteral("First paragraph."), QString(),
                                        QStringLiteral("Second paragraph.")}));
    }

    void longParagraphWrapsAtTheLastSpace() {
        QString words;
        for (int i = 0; i < 40; ++i) words += QStringLiteral("word%1 ").arg(i, 2, 10, QLatin1Char('0'));
        const auto pages = print(words.trimmed());
        QCOMPARE(pages.size(), size_t(1));
        const QStringList& l = pages[0];
        QVERIFY(l.size() >= 4);
        QStringList all;
        for (const QString& line : l) {
            QVERIFY2(line.size() <= 68, qPrintable(line));
            // Every line is whole words: a cut word would leave a piece.
            for (const QString& w : line.split(QLatin1Char(' '))) QVERIFY2(w.size() == 6, qPrintable(line));
            all += line.split(QLatin1Char(' '));
        }
        QCOMPARE(all.join(QLatin1Char(' ')), words.trimmed());
        // The first line is as full as whole words allow.
        QVERIFY(l[0].size() + 7 > 68);
    }

    void unbrokenWordIsCutWithoutLoss() {
        QString word;
        for (int i = 0; i < 200; ++i) word += QChar(QLatin1Char('a' + i % 26));
        const auto pages = print(QStringLiteral("Start ") + word + QStringLiteral(" end"));
        QCOMPARE(pages.size(), size_t(1));
        const QStringList& l = pages[0];
        QCOMPARE(l[0], QStringLiteral("Start"));
        QString joined;
        for (int i = 1; i < l.size(); ++i) joined += l[i];
        QCOMPARE(joined, word + QStringLiteral(" end"));
        QCOMPARE(l[1].size(), 68);
    }

    void textLongerThanAPageContinuesAndNoLineCrossesTheEdge() {
        QStringList lines;
        for (int i = 1; i <= 120; ++i) lines << QStringLiteral("Line %1").arg(i);
        FakeDialogs dialogs;
        dialogs.pdfPath = nextPdf();
        clsPrintDlg dlg(dialogs);
        QVERIFY(dlg.ShowPrint());
        printHelpText(dlg, lines.join(QStringLiteral("\r\n")), QStringLiteral("test"));
        const auto pages = pdfPages(dialogs.pdfPath);
        QCOMPARE(pages.size(), size_t(3));
        // As many lines as fit the page height whole, not one more.
        QFont f(QStringLiteral("Courier"));
        f.setPixelSize(qRound(14 * dlg.DeviceCaps(LOGPIXELSY) / 72.0));
        const int perPage = dlg.DeviceCaps(VERTRES) / QFontMetrics(f, dlg.hDC()).height();
        QCOMPARE(pages[0].size(), perPage);
        QCOMPARE(pages[0].front(), QStringLiteral("Line 1"));
        QCOMPARE(pages[1].front(), QStringLiteral("Line %1").arg(perPage + 1));
        QStringList all;
        for (const auto& p : pages) all += p;
        QCOMPARE(all, lines);
    }

    void characterWiderThanThePageStillAdvances() {
        // A page narrower than one character.
        const auto pages = print(QStringLiteral("abc"), [](QPrinter& p) {
            p.setPageSize(QPageSize(QSizeF(2, 100), QPageSize::Millimeter));
            p.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        });
        QCOMPARE(pages.size(), size_t(1));
        QCOMPARE(pages[0].join(QString()), QStringLiteral("abc"));
    }
};

QTEST_MAIN(HelpTest)
#include "HelpTest.moc"
