// The list editor's controls: the page buttons, the five pages and the
// buttons below them, built in the order that gives the keyboard its way
// through them.
#include "frmConfigure.h"

#include "ClickableLabel.h"
#include "GradientPanel.h"
#include "frmConfigureCommon.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>

using namespace editor;

namespace {

// The member list is yellow as a required field; its check boxes keep a
// white face so a check mark stands out.
class WhiteCheckBoxDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->palette.setColor(QPalette::Base, Qt::white);
        option->palette.setColor(QPalette::Window, Qt::white);
    }
};

QPalette requiredPalette() {
    QPalette yellow;
    yellow.setColor(QPalette::Base, QColor(255, 255, 0));
    yellow.setColor(QPalette::Text, Qt::black);
    return yellow;
}

QLabel* label(QWidget* page, const QString& text, int x, int y, int w) {
    auto* l = new QLabel(text, page);
    l->setGeometry(x, y, w, 24);
    return l;
}

QLineEdit* field(QWidget* page, const char* name, int x, int y, int w, bool required) {
    auto* f = new QLineEdit(page);
    f->setObjectName(QString::fromLatin1(name));
    f->setGeometry(x, y, w, 24);
    if (required) f->setPalette(requiredPalette());
    return f;
}

QPushButton* button(QWidget* page, const char* name, const QString& caption, QRect geometry) {
    auto* b = new QPushButton(caption, page);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

QCheckBox* checkBox(QWidget* page, const char* name, int x, int y) {
    auto* c = new QCheckBox(page);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(x, y + 2, 20, 20);
    return c;
}

ClickableLabel* clickLabel(QWidget* page, const char* name, const QString& text, int x, int y, int w) {
    auto* l = new ClickableLabel(text, page);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(x, y, w, 24);
    return l;
}

// A click on the label toggles its box.
void toggles(ClickableLabel* label, QCheckBox* box) {
    QObject::connect(label, &ClickableLabel::clicked, box, [box] { box->setChecked(!box->isChecked()); });
}

}  // namespace

void frmConfigure::buildControls() {
    setObjectName(QStringLiteral("frmConfigure"));
    setFixedSize(kClientWidth, kClientHeight);
    buildPageButtons();
    buildGeneralPage(picOptions[0]);
    buildPop3Page(picOptions[1]);
    buildSmtpPage(picOptions[2]);
    // Down the page line by line, each approval box after its command.
    QWidget::setTabOrder(txtName, txtSubscribe);
    QWidget::setTabOrder(txtSubscribe, chkSubscribe);
    QWidget::setTabOrder(chkSubscribe, txtUnsubscribe);
    QWidget::setTabOrder(txtUnsubscribe, chkUnsubscribe);
    QWidget::setTabOrder(chkUnsubscribe, txtSubmit);
    QWidget::setTabOrder(txtSubmit, chkSubmit);
    QWidget::setTabOrder(chkSubmit, txtBounceLimit);
    QWidget::setTabOrder(txtBounceLimit, txtBounceDays);
    buildMembersPage(picOptions[3]);
    buildMessagesPage(picOptions[4]);
    buildWindowButtons();

    showSettings([](const list::SettingKey& key) { return std::string(key.newListDefault); });
    setWindowTitle(QStringLiteral("Configure ") + txtName->text());
    connectControls();
}

void frmConfigure::buildPageButtons() {
    static const QStringList captions = {QStringLiteral("General"), QStringLiteral("POP3"), QStringLiteral("SMTP"),
                                         QStringLiteral("Members"), QStringLiteral("Messages")};
    grpOptions_ = new QButtonGroup(this);
    for (int i = 0; i < 5; ++i) {
        optOptions[i] = new QPushButton(captions[i], this);
        optOptions[i]->setObjectName(QStringLiteral("optOptions_%1").arg(i));
        optOptions[i]->setCheckable(true);
        optOptions[i]->setAutoDefault(false);
        grpOptions_->addButton(optOptions[i], i);
        picOptions[i] = new GradientPanel(this);
        picOptions[i]->setObjectName(QStringLiteral("picOptions_%1").arg(i));
        picOptions[i]->setGeometry(5, kPageTop, kPageWidth, kPageHeight);
    }
    connect(grpOptions_, &QButtonGroup::idClicked, this, &frmConfigure::selectPage);
    layOutPageButtons();
}

void frmConfigure::buildGeneralPage(QWidget* p) {
    // Each command's approval box sits on the line below its field; the
    // bounce limits share the last two lines.
    label(p, QStringLiteral("Name:"), 8, 6, 160);
    txtName = field(p, "txtName", 170, 6, 222, true);
    label(p, QStringLiteral("Subscribe Command:"), 8, 36, 160);
    txtSubscribe = field(p, "txtSubscribe", 170, 36, 140, true);
    label(p, QStringLiteral("Unsubscribe Command:"), 8, 86, 160);
    txtUnsubscribe = field(p, "txtUnsubscribe", 170, 86, 140, true);
    label(p, QStringLiteral("Submit Command:"), 8, 136, 160);
    txtSubmit = field(p, "txtSubmit", 170, 136, 140, false);
    chkSubscribe = checkBox(p, "chkSubscribe", 170, 60);
    chkUnsubscribe = checkBox(p, "chkUnsubscribe", 170, 110);
    chkSubmit = checkBox(p, "chkSubmit", 170, 160);
    const std::array<QCheckBox*, 3> adminBoxes = {chkSubscribe, chkUnsubscribe, chkSubmit};
    for (int i = 0; i < 3; ++i) {
        lblRequireAdmin[i] = clickLabel(p, "lblRequireAdmin", QStringLiteral("Require Admin approval"), 192,
                                        60 + 50 * i, 200);
        lblRequireAdmin[i]->setObjectName(QStringLiteral("lblRequireAdmin_%1").arg(i));
        toggles(lblRequireAdmin[i], adminBoxes[i]);
    }
    const QString why = QStringLiteral(
        "A member whose mail comes back undeliverable this many times is removed, and the administrators are "
        "told. Administrators are never removed. 0 removes nobody. A count starts over when no report came "
        "for the given number of days.");
    label(p, QStringLiteral("Remove after bounces:"), 8, 186, 160)->setToolTip(why);
    txtBounceLimit = field(p, "txtBounceLimit", 170, 186, 40, false);
    label(p, QStringLiteral("(0: never remove anybody)"), 216, 186, 180);
    label(p, QStringLiteral("Forget bounces after:"), 8, 210, 160)->setToolTip(why);
    txtBounceDays = field(p, "txtBounceDays", 170, 210, 40, false);
    label(p, QStringLiteral("days without a bounce"), 216, 210, 180);
    txtBounceLimit->setToolTip(why);
    txtBounceDays->setToolTip(why);
}

void frmConfigure::buildPop3Page(QWidget* p) {
    label(p, QStringLiteral("POP3 Server:"), 8, 12, 100);
    txtPOP3Server = field(p, "txtPOP3Server", 110, 12, 280, true);
    label(p, QStringLiteral("Username:"), 8, 52, 100);
    txtPOP3Username = field(p, "txtPOP3Username", 110, 52, 280, true);
    label(p, QStringLiteral("Password:"), 8, 92, 100);
    txtPOP3Password = field(p, "txtPOP3Password", 110, 92, 280, true);
    txtPOP3Password->setEchoMode(QLineEdit::Password);
    txtPOP3Password->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // '*
    cmdTestPOP3 = button(p, "cmdTestPOP3", QStringLiteral("Test POP3"), QRect(290, 195, 100, 28));
    cmdPOP3Security = button(p, "cmdPOP3Security", QStringLiteral("Security..."), QRect(8, 195, 100, 28));
    lblPOP3Security = label(p, QString(), 114, 200, 170);
    lblPOP3Security->setObjectName(QStringLiteral("lblPOP3Security"));
}

void frmConfigure::buildSmtpPage(QWidget* p) {
    label(p, QStringLiteral("SMTP Server:"), 8, 12, 100);
    txtSMTPServer = field(p, "txtSMTPServer", 110, 12, 280, true);
    label(p, QStringLiteral("From:"), 8, 52, 100);
    txtSMTPFrom = field(p, "txtSMTPFrom", 110, 52, 280, true);
    label(p, QStringLiteral("Reply To;"), 8, 92, 100);
    txtSMTPReplyTo = field(p, "txtSMTPReplyTo", 110, 92, 280, false);
    chkStripAttachments = checkBox(p, "chkStripAttachments", 8, 132);
    lblStripAttachments = clickLabel(p, "lblStripAttachments", QStringLiteral("Strip all attachments before resending"),
                                     30, 132, 360);
    chkStripHTML = checkBox(p, "chkStripHTML", 8, 162);
    lblStripHTML = clickLabel(p, "lblStripHTML", QStringLiteral("Strip all HTML before resending"), 30, 162, 360);
    toggles(lblStripAttachments, chkStripAttachments);
    toggles(lblStripHTML, chkStripHTML);
    cmdTestSMTP = button(p, "cmdTestSMTP", QStringLiteral("Test SMTP"), QRect(290, 195, 100, 28));
    cmdSMTPSecurity = button(p, "cmdSMTPSecurity", QStringLiteral("Security..."), QRect(8, 195, 100, 28));
    lblSMTPSecurity = label(p, QString(), 114, 200, 170);
    lblSMTPSecurity->setObjectName(QStringLiteral("lblSMTPSecurity"));
}

void frmConfigure::buildMembersPage(QWidget* p) {
    lblMembers = label(p, QStringLiteral("Members: (Administrators are checked)"), 8, 2, 380);
    lstMembers = new QListWidget(p);
    lstMembers->setObjectName(QStringLiteral("lstMembers"));
    lstMembers->setGeometry(8, 26, 384, 165);
    lstMembers->setSortingEnabled(true);
    lstMembers->setPalette(requiredPalette());
    lstMembers->setItemDelegate(new WhiteCheckBoxDelegate(lstMembers));
    txtMember = field(p, "txtMember", 8, 200, 218, false);
    cmdAdd = button(p, "cmdAdd", QStringLiteral("Add"), QRect(232, 198, 76, 28));
    cmdRemove = button(p, "cmdRemove", QStringLiteral("Remove"), QRect(314, 198, 78, 28));
}

void frmConfigure::buildMessagesPage(QWidget* p) {
    label(p, QStringLiteral("Prepend Message File:"), 8, 12, 160);
    txtPrepend = field(p, "txtPrepend", 170, 12, 220, false);
    label(p, QStringLiteral("Postpend Message File:"), 8, 52, 160);
    txtPostpend = field(p, "txtPostpend", 170, 52, 220, false);
    label(p, QStringLiteral("Welcome Message File:"), 8, 92, 160);
    txtWelcome = field(p, "txtWelcome", 170, 92, 220, false);
    label(p, QStringLiteral("Days to keep messages:"), 8, 132, 160);
    txtKeep = field(p, "txtKeep", 170, 132, 60, false);
}

void frmConfigure::buildWindowButtons() {
    const int bottom = kPageTop + kPageHeight + 6;
    lblYellow = new QLabel(QStringLiteral(" All yellow fields must be filled in "), this);
    lblYellow->setObjectName(QStringLiteral("lblYellow"));
    lblYellow->setProperty("keepColours", true);
    lblYellow->setAutoFillBackground(true);
    QPalette note = lblYellow->palette();
    note.setColor(QPalette::Window, QColor(255, 255, 0));
    note.setColor(QPalette::WindowText, Qt::black);
    lblYellow->setPalette(note);
    lblYellow->adjustSize();
    lblYellow->move(5, bottom + (28 - lblYellow->height()) / 2);
    cmdOK = button(this, "cmdOK", QStringLiteral("OK"), QRect(236, bottom, 68, 28));
    cmdCancel = button(this, "cmdCancel", QStringLiteral("Cancel"), QRect(308, bottom, 68, 28));
    cmdHelp = button(this, "cmdHelp", QStringLiteral("?"), QRect(380, bottom, 25, 28));
}

void frmConfigure::connectControls() {
    connect(txtName, &QLineEdit::textChanged, this,
            [this](const QString& text) { setWindowTitle(QStringLiteral("Configure ") + text); });
    for (QLineEdit* command : {txtSubscribe, txtUnsubscribe, txtSubmit})
        connect(command, &QLineEdit::editingFinished, this, [this, command] { upperCaseField(command); });
    connect(lstMembers, &QListWidget::itemChanged, this, &frmConfigure::lstMembers_ItemCheck);
    connect(txtMember, &QLineEdit::returnPressed, this, &frmConfigure::cmdAdd_Click);
    connect(cmdAdd, &QPushButton::clicked, this, &frmConfigure::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmConfigure::cmdRemove_Click);
    connect(cmdTestPOP3, &QPushButton::clicked, this, &frmConfigure::cmdTestPOP3_Click);
    connect(cmdTestSMTP, &QPushButton::clicked, this, &frmConfigure::cmdTestSMTP_Click);
    connect(cmdPOP3Security, &QPushButton::clicked, this, &frmConfigure::cmdPOP3Security_Click);
    connect(cmdSMTPSecurity, &QPushButton::clicked, this, &frmConfigure::cmdSMTPSecurity_Click);
    runSecurityDialog = [](frmSecurity& dialog) { return dialog.exec() == QDialog::Accepted; };
    connect(cmdOK, &QPushButton::clicked, this, &frmConfigure::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmConfigure::cmdCancel_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmConfigure::cmdHelp_Click);
}
