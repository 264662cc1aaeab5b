#include "frmConfigure.h"

#include "BusyCall.h"
#include "ClickableLabel.h"
#include "ConnectionTests.h"
#include "Dialogs.h"
#include "GradientPanel.h"
#include "StoredText.h"
#include "basRingpostCfg.h"
#include "frmHelp.h"
#include "frmMain.h"
#include "list/ListDirectory.h"
#include "list/ListSettings.h"
#include "list/MemberFile.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "text/TextRules.h"

#include <memory>
#include <optional>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <cmath>

namespace {

constexpr int kClientWidth = 410;
constexpr int kClientHeight = 312;
constexpr int kPageButtonTop = 5;
constexpr int kPageButtonHeight = 26;
constexpr int kPageTop = kPageButtonTop + kPageButtonHeight + 5;
constexpr int kPageWidth = 400;
constexpr int kPageHeight = 235;
constexpr double kOutOfSightTwips = -20000;

// The remembered check mark of a member entry, so a change of anything else
// on the entry is not taken for a click on its box.
constexpr int kWasCheckedRole = Qt::UserRole + 1;
constexpr int kBytesRole = Qt::UserRole;

// The number the text starts with, as the classic Val reads it: blanks,
// a sign, digits, a fraction and an exponent; 0 when there is none.
double leadingNumber(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    const size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const size_t digitsStart = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    }
    if (i == digitsStart || (i == digitsStart + 1 && s[digitsStart] == '.')) return 0;
    size_t end = i;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
            end = j;
        }
    }
    const std::string number(s.substr(start, end - start));
    const double v = std::strtod(number.c_str(), nullptr);
    return std::isfinite(v) ? v : 0;
}

// General number format: whole numbers without a point, others with up to
// 15 significant digits.
std::string generalNumber(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e15) return std::to_string(static_cast<long long>(v));
    return QString::number(v, 'g', 15).toUpper().toStdString();
}

bool hasControlByte(std::string_view s) {
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

// A list's name is its directory's name: it must name one directory right
// inside the home directory, and no "|" may reach an attachment list.
bool isUsableListName(std::string_view name) {
    return name != "." && name != ".." && !hasControlByte(name) &&
           name.find_first_of("\\/:*?\"<>|") == std::string_view::npos;
}

// The last part of a directory path that ends in a slash.
std::string entryName(const std::string& dir) {
    const std::string path = dir.substr(0, dir.size() - 1);
    return path.substr(path.find_last_of('/') + 1);
}

QString shown(const std::string& bytes) { return decodeStored(bytes).text; }

std::string trimmed(const QLineEdit* field) { return text::trim(fieldBytes(field)); }

std::string flagText(const QCheckBox* box) { return box->isChecked() ? "1" : "0"; }

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

// Removes a file on every path unless told to keep it.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty()) platform::removeFile(path_);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

private:
    std::string path_;
};

}  // namespace

frmConfigure::frmConfigure(Dialogs& dialogs, std::string homeDir, QWidget* parent)
    : QDialog(parent), libraries(withSlash(homeDir)), dialogs_(dialogs), homeDir_(withSlash(homeDir)) {
    buildControls();
    showHelp = [this](int topic) {
        frmHelp help(dialogs_, homeDir_, this);
        help.DisplayHelp(topic);
    };
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
    selectPage(0);
}

frmConfigure::~frmConfigure() = default;

void frmConfigure::buildControls() {
    setObjectName(QStringLiteral("frmConfigure"));
    setFixedSize(kClientWidth, kClientHeight);

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

    QPalette yellow;
    yellow.setColor(QPalette::Base, QColor(255, 255, 0));
    yellow.setColor(QPalette::Text, Qt::black);

    const auto label = [](QWidget* page, const QString& text, int x, int y, int w) {
        auto* l = new QLabel(text, page);
        l->setGeometry(x, y, w, 24);
        return l;
    };
    const auto field = [&](QWidget* page, const char* name, int x, int y, int w, bool required) {
        auto* f = new QLineEdit(page);
        f->setObjectName(QString::fromLatin1(name));
        f->setGeometry(x, y, w, 24);
        if (required) f->setPalette(yellow);
        return f;
    };
    const auto button = [](QWidget* page, const char* name, const QString& caption, QRect geometry) {
        auto* b = new QPushButton(caption, page);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(geometry);
        b->setAutoDefault(false);
        return b;
    };
    const auto checkBox = [](QWidget* page, const char* name, int x, int y) {
        auto* c = new QCheckBox(page);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(x, y + 2, 20, 20);
        return c;
    };
    const auto clickLabel = [](QWidget* page, const char* name, const QString& text, int x, int y, int w) {
        auto* l = new ClickableLabel(text, page);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(x, y, w, 24);
        return l;
    };

    // General
    QWidget* p = picOptions[0];
    // Each command's approval box sits on the line below its field.
    label(p, QStringLiteral("Name:"), 8, 10, 160);
    txtName = field(p, "txtName", 170, 10, 222, true);
    label(p, QStringLiteral("Subscribe Command:"), 8, 48, 160);
    txtSubscribe = field(p, "txtSubscribe", 170, 48, 140, true);
    label(p, QStringLiteral("Unsubscribe Command:"), 8, 108, 160);
    txtUnsubscribe = field(p, "txtUnsubscribe", 170, 108, 140, true);
    label(p, QStringLiteral("Submit Command:"), 8, 168, 160);
    txtSubmit = field(p, "txtSubmit", 170, 168, 140, false);
    chkSubscribe = checkBox(p, "chkSubscribe", 170, 74);
    chkUnsubscribe = checkBox(p, "chkUnsubscribe", 170, 134);
    chkSubmit = checkBox(p, "chkSubmit", 170, 194);
    const std::array<QCheckBox*, 3> adminBoxes = {chkSubscribe, chkUnsubscribe, chkSubmit};
    for (int i = 0; i < 3; ++i) {
        lblRequireAdmin[i] = clickLabel(p, "lblRequireAdmin", QStringLiteral("Require Admin approval"), 192,
                                        74 + 60 * i, 200);
        lblRequireAdmin[i]->setObjectName(QStringLiteral("lblRequireAdmin_%1").arg(i));
        QCheckBox* box = adminBoxes[i];
        connect(lblRequireAdmin[i], &ClickableLabel::clicked, box, [box] { box->setChecked(!box->isChecked()); });
    }

    // POP3
    p = picOptions[1];
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

    // SMTP
    p = picOptions[2];
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
    connect(lblStripAttachments, &ClickableLabel::clicked, this,
            [this] { chkStripAttachments->setChecked(!chkStripAttachments->isChecked()); });
    connect(lblStripHTML, &ClickableLabel::clicked, this,
            [this] { chkStripHTML->setChecked(!chkStripHTML->isChecked()); });
    cmdTestSMTP = button(p, "cmdTestSMTP", QStringLiteral("Test SMTP"), QRect(290, 195, 100, 28));
    cmdSMTPSecurity = button(p, "cmdSMTPSecurity", QStringLiteral("Security..."), QRect(8, 195, 100, 28));
    lblSMTPSecurity = label(p, QString(), 114, 200, 170);
    lblSMTPSecurity->setObjectName(QStringLiteral("lblSMTPSecurity"));

    // Down the page line by line, each approval box after its command.
    QWidget::setTabOrder(txtName, txtSubscribe);
    QWidget::setTabOrder(txtSubscribe, chkSubscribe);
    QWidget::setTabOrder(chkSubscribe, txtUnsubscribe);
    QWidget::setTabOrder(txtUnsubscribe, chkUnsubscribe);
    QWidget::setTabOrder(chkUnsubscribe, txtSubmit);
    QWidget::setTabOrder(txtSubmit, chkSubmit);

    // Members
    p = picOptions[3];
    lblMembers = label(p, QStringLiteral("Members: (Administrators are checked)"), 8, 2, 380);
    lstMembers = new QListWidget(p);
    lstMembers->setObjectName(QStringLiteral("lstMembers"));
    lstMembers->setGeometry(8, 26, 384, 165);
    lstMembers->setSortingEnabled(true);
    lstMembers->setPalette(yellow);
    lstMembers->setItemDelegate(new WhiteCheckBoxDelegate(lstMembers));
    txtMember = field(p, "txtMember", 8, 200, 218, false);
    cmdAdd = button(p, "cmdAdd", QStringLiteral("Add"), QRect(232, 198, 76, 28));
    cmdRemove = button(p, "cmdRemove", QStringLiteral("Remove"), QRect(314, 198, 78, 28));

    // Messages
    p = picOptions[4];
    label(p, QStringLiteral("Prepend Message File:"), 8, 12, 160);
    txtPrepend = field(p, "txtPrepend", 170, 12, 220, false);
    label(p, QStringLiteral("Postpend Message File:"), 8, 52, 160);
    txtPostpend = field(p, "txtPostpend", 170, 52, 220, false);
    label(p, QStringLiteral("Welcome Message File:"), 8, 92, 160);
    txtWelcome = field(p, "txtWelcome", 170, 92, 220, false);
    label(p, QStringLiteral("Days to keep messages:"), 8, 132, 160);
    txtKeep = field(p, "txtKeep", 170, 132, 60, false);

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

    showSettings([](const list::SettingKey& key) { return std::string(key.newListDefault); });
    setWindowTitle(QStringLiteral("Configure ") + txtName->text());

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

void frmConfigure::layOutPageButtons() {
    const int width = (this->width() - 10) / 5;
    for (int i = 0; i < 5; ++i) optOptions[i]->setGeometry(5 + i * width, kPageButtonTop, width, kPageButtonHeight);
}

void frmConfigure::selectPage(int index) {
    if (index < 0 || index > 4) return;
    page_ = index;
    const int outOfSight = static_cast<int>(std::lround(kOutOfSightTwips / twipsPerPixelX()));
    for (int i = 0; i < 5; ++i) {
        if (i == index) {
            picOptions[i]->setGeometry(5, kPageTop, kPageWidth, kPageHeight);
            picOptions[i]->setEnabled(true);
            picOptions[i]->update();
        } else {
            picOptions[i]->move(outOfSight, kPageTop);
            picOptions[i]->setEnabled(false);
        }
    }
    optOptions[index]->setChecked(true);
    fitTextColours(this);
}

std::string frmConfigure::listDirectory(const std::string& name) const {
    // Another letter case of the same name is the same list, as on the
    // original platform.
    return withSlash(platform::resolveName(homeDir_, name));
}

void frmConfigure::PopulateFormWith(const QString& listName) {
    // The main window shows directory names decoded; find the directory
    // whose name reads as `listName`, so its bytes are used as they are.
    QString wanted = listName;
    while (wanted.startsWith(QLatin1Char(' '))) wanted.remove(0, 1);
    while (wanted.endsWith(QLatin1Char(' '))) wanted.chop(1);
    std::string dirName = encodeStored(wanted, TextEncoding::Utf8);
    for (const platform::DirEntry& e : platform::findFiles(homeDir_, "*")) {
        if (e.isDirectory && shown(e.name) == wanted) {
            dirName = e.name;
            break;
        }
    }
    const std::string dir = listDirectory(dirName);
    openedDir_ = entryName(dir);
    const std::string settings = platform::resolveName(dir, list::kSettingsFile);
    showSettings(
        [&](const list::SettingKey& key) { return list::readSetting(settings, key.setting, list::Reader::Editor); });
    openedName_ = trimmed(txtName);

    lstMembers->clear();
    MemberStore store;
    if (list::readMemberFile(platform::resolveName(dir, list::kMemberFile), store)) {
        for (const Member& m : store.entries()) addMember(m.address, m.isAdministrator);
    }
}

std::vector<frmConfigure::SettingControl> frmConfigure::settingControls() const {
    using list::Setting;
    return {
        {Setting::Name, txtName, nullptr},
        {Setting::Subscribe, txtSubscribe, nullptr},
        {Setting::Unsubscribe, txtUnsubscribe, nullptr},
        {Setting::Submit, txtSubmit, nullptr},
        {Setting::AdminSubscribe, nullptr, chkSubscribe},
        {Setting::AdminUnsubscribe, nullptr, chkUnsubscribe},
        {Setting::AdminSubmit, nullptr, chkSubmit},
        {Setting::Pop3Server, txtPOP3Server, nullptr},
        {Setting::Pop3Username, txtPOP3Username, nullptr},
        {Setting::Pop3Password, txtPOP3Password, nullptr},
        {Setting::SmtpServer, txtSMTPServer, nullptr},
        {Setting::From, txtSMTPFrom, nullptr},
        {Setting::ReplyTo, txtSMTPReplyTo, nullptr},
        {Setting::Prepend, txtPrepend, nullptr},
        {Setting::Postpend, txtPostpend, nullptr},
        {Setting::Welcome, txtWelcome, nullptr},
        {Setting::StripAttachments, nullptr, chkStripAttachments},
        {Setting::StripHTML, nullptr, chkStripHTML},
        {Setting::Keep, txtKeep, nullptr},
    };
}

void frmConfigure::showSettings(const std::function<std::string(const list::SettingKey&)>& value) {
    for (const auto& [setting, field, box] : settingControls()) {
        const list::SettingKey& key = list::settingKey(setting);
        const std::string v = value(key);
        switch (key.kind) {
            case list::ValueKind::Command: setFieldBytes(field, text::toUpper(v)); break;
            // Flags read as the engine reads them: off only when the value starts with '0'.
            case list::ValueKind::Flag: box->setChecked(list::parseFlag(v)); break;
            case list::ValueKind::Days: setFieldBytes(field, generalNumber(leadingNumber(v))); break;
            default: setFieldBytes(field, v); break;
        }
    }
    const auto read = [&](list::Setting setting) { return value(list::settingKey(setting)); };
    using list::Setting;
    pop3Security = SecurityValues{read(Setting::Pop3Security), read(Setting::Pop3CAFile), {}, {},
                                  list::parseOptIn(read(Setting::Pop3AllowPlainAuth))};
    smtpSecurity = SecurityValues{read(Setting::SmtpSecurity), read(Setting::SmtpCAFile), read(Setting::SmtpUsername),
                                  read(Setting::SmtpPassword), list::parseOptIn(read(Setting::SmtpAllowPlainAuth))};
    showSecurity();
}

std::string frmConfigure::settingText(const SettingControl& control) const {
    const list::SettingKey& key = list::settingKey(control.setting);
    switch (key.kind) {
        case list::ValueKind::Command: return text::toUpper(trimmed(control.field));
        case list::ValueKind::Flag: return flagText(control.box);
        case list::ValueKind::Days: return generalNumber(leadingNumber(fieldBytes(control.field)));
        default: return trimmed(control.field);
    }
}

std::string frmConfigure::memberBytes(const QListWidgetItem* item) {
    return item->data(kBytesRole).toByteArray().toStdString();
}

void frmConfigure::addMember(const std::string& address, bool administrator) {
    // Check state and bytes are set before the entry joins the list, so
    // adding it asks nothing.
    auto* item = new ListNameItem(shown(address));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(administrator ? Qt::Checked : Qt::Unchecked);
    item->setData(kWasCheckedRole, administrator);
    item->setData(kBytesRole, QByteArray(address.data(), static_cast<qsizetype>(address.size())));
    lstMembers->addItem(item);
}

void frmConfigure::upperCaseField(QLineEdit* field) {
    const QString text = field->text();
    QString upper = text;
    for (QChar& c : upper)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
    if (upper != text) field->setText(upper);
}

void frmConfigure::cmdAdd_Click() {
    const std::string address = text::trim(fieldBytes(txtMember));
    if (address.empty()) return;
    // What the member file would read back as an administrator, or as
    // several lines, is no address.
    if (address.compare(0, 3, list::kAdministratorMarker) == 0) {
        dialogs_.message(this,
                         QStringLiteral("An address can not begin with \"_!_\": the member file uses it to mark "
                                        "administrators. Add the address alone and check it to make it an "
                                        "administrator."),
                         QStringLiteral("Add Member"), DialogIcon::Error);
        return;
    }
    if (hasControlByte(address)) {
        dialogs_.message(this,
                         QStringLiteral("An address can not hold control characters such as tabs or line breaks."),
                         QStringLiteral("Add Member"), DialogIcon::Error);
        return;
    }
    const std::string upper = text::toUpper(address);
    for (int i = 0; i < lstMembers->count(); ++i) {
        QListWidgetItem* item = lstMembers->item(i);
        if (text::toUpper(memberBytes(item)) == upper) {
            lstMembers->setCurrentItem(item);
            dialogs_.message(this, shown(address) + QStringLiteral(" is already a member of this list."),
                             QStringLiteral("Add Member"), DialogIcon::Information);
            return;
        }
    }
    addMember(address, false);
    txtMember->clear();
}

void frmConfigure::cmdRemove_Click() {
    QListWidgetItem* item = lstMembers->currentItem();
    if (!item || !item->isSelected()) return;
    if (!dialogs_.question(this, QStringLiteral("Remove ") + item->text() + QStringLiteral(" from the list? Are you sure?"),
                           QStringLiteral("Remove Member"), DialogIcon::Question))
        return;
    // takeItem hands the item over; it goes when this scope ends.
    std::unique_ptr<QListWidgetItem> taken(lstMembers->takeItem(lstMembers->row(item)));
    lstMembers->setCurrentRow(lstMembers->count() > 0 ? 0 : -1);
}

void frmConfigure::lstMembers_ItemCheck(QListWidgetItem* item) {
    const bool checked = item->checkState() == Qt::Checked;
    if (checked == item->data(kWasCheckedRole).toBool()) return;  // not the box
    if (itemCheckGuard_ || !isVisible()) {
        item->setData(kWasCheckedRole, checked);
        return;
    }
    itemCheckGuard_ = true;
    const QString text = checked ? QStringLiteral("Are you sure you wish to make ") + item->text() +
                                       QStringLiteral(" an administrator?")
                                 : QStringLiteral("Are you sure you wish to remove ") + item->text() +
                                       QStringLiteral(" as an administrator?");
    if (!dialogs_.question(this, text, QString(), DialogIcon::Question))
        item->setCheckState(checked ? Qt::Unchecked : Qt::Checked);
    item->setData(kWasCheckedRole, item->checkState() == Qt::Checked);
    itemCheckGuard_ = false;
}

bool frmConfigure::refuse(const QString& text, int page, QWidget* focus) {
    dialogs_.message(this, text, QString(), DialogIcon::Error);
    selectPage(page);
    focus->setFocus();
    return false;
}

bool frmConfigure::confirm(const QString& text, int page, QWidget* focus) {
    if (dialogs_.question(this, text, QString(), DialogIcon::Question)) return true;
    selectPage(page);
    focus->setFocus();
    return false;
}

bool frmConfigure::Save() {
    const std::string name = trimmed(txtName);
    const std::string subscribe = text::toUpper(trimmed(txtSubscribe));
    const std::string unsubscribe = text::toUpper(trimmed(txtUnsubscribe));
    const std::string submit = text::toUpper(trimmed(txtSubmit));

    if (name.empty()) return refuse(QStringLiteral("You must enter a name for this list."), 0, txtName);
    if (!isUsableListName(name))
        return refuse(QStringLiteral("The name of a list is the name of its directory: it can not be \".\" or "
                                     "\"..\", nor hold control characters or any of these characters: "
                                     "\\ / : * ? \" < > |"),
                      0, txtName);
    if (subscribe.empty())
        return refuse(QStringLiteral("You must enter a subscribe command for this list."), 0, txtSubscribe);
    if (unsubscribe.empty())
        return refuse(QStringLiteral("You must enter an unsubscribe command for this list."), 0, txtUnsubscribe);
    if (subscribe == unsubscribe)
        return refuse(QStringLiteral("The subscribe command and unsubscribe command must not be identical."), 0,
                      txtUnsubscribe);
    if (subscribe == submit)
        return refuse(QStringLiteral("The subscribe command and submit command must not be identical."), 0,
                      txtSubmit);
    if (unsubscribe == submit)
        return refuse(QStringLiteral("The unsubscribe command and submit command must not be identical."), 0,
                      txtSubmit);
    if (submit.empty() &&
        !confirm(QStringLiteral("Without specifying a submit command, the Ringpost is subject to auto-responders "
                                "and quite possibly bounce messages. This is usually an UNdesireable effect. Are "
                                "you sure you wish omit a submit command?"),
                 0, txtSubmit))
        return false;
    if (trimmed(txtPOP3Server).empty())
        return refuse(QStringLiteral("You must enter a POP3 server for this list."), 1, txtPOP3Server);
    if (trimmed(txtPOP3Username).empty())
        return refuse(QStringLiteral("You must enter a POP3 username for this list."), 1, txtPOP3Username);
    if (trimmed(txtPOP3Password).empty())
        return refuse(QStringLiteral("You must enter a POP3 password for this list."), 1, txtPOP3Password);
    if (trimmed(txtSMTPServer).empty())
        return refuse(QStringLiteral("You must enter an SMTP server for this list."), 2, txtSMTPServer);
    if (trimmed(txtSMTPFrom).empty())
        return refuse(QStringLiteral("You must enter an SMTP from for this list."), 2, txtSMTPFrom);
    if (!chkStripAttachments->isChecked() && chkSubmit->isChecked() &&
        !confirm(QStringLiteral("By requiring Administrator approval for submissions and allowing attachments, the "
                                "Ringpost sends all submissions INCLUDING all attachments to each Administrator, "
                                "for approval. This will SLOW down the Ringpost considerably and is usually an "
                                "UNdesireable effect. Are you sure you wish to require Administrator approval for "
                                "submissions and allow attachments?"),
                 2, chkStripAttachments))
        return false;
    if (!chkStripAttachments->isChecked() &&
        !confirm(QStringLiteral("By allowing attachments, the Ringpost is subject to viruses and quite possibly "
                                "bounce messages. This is usually an UNdesireable effect. Are you sure you wish to "
                                "allow attachments?"),
                 2, chkStripAttachments))
        return false;
    if (!chkStripHTML->isChecked() &&
        !confirm(QStringLiteral("By allowing HTML, the Ringpost is subject to viruses and quite possibly unreadble "
                                "messages for some of the members. This is usually an UNdesireable effect. Are you "
                                "sure you wish to allow HTML?"),
                 2, chkStripHTML))
        return false;
    if (lstMembers->count() == 0)
        return refuse(QStringLiteral("You must enter at least one member to this list."), 3, txtMember);
    bool anyAdministrator = false;
    for (int i = 0; i < lstMembers->count() && !anyAdministrator; ++i)
        anyAdministrator = lstMembers->item(i)->checkState() == Qt::Checked;
    if (!anyAdministrator)
        return refuse(QStringLiteral("You must have at least one administrator for this list."), 3, lstMembers);

    std::string dirName;
    std::string renameTo;
    if (!chooseDirectory(name, dirName, renameTo)) return false;
    if (!writeList(dirName)) return false;
    savedDir_ = dirName;
    if (renameTo.empty()) return true;
    // The files are saved; only the directory's name is left to change.
    if (!platform::renameNoReplace(homeDir_ + dirName, homeDir_ + renameTo)) {
        const uint32_t code = platform::lastErrorCode();
        dialogs_.message(this,
                         QStringLiteral("The list was saved, but its directory \"") + shown(dirName) +
                             QStringLiteral("\" could not be renamed to \"") + shown(renameTo) +
                             QStringLiteral("\": ") + QString::fromStdString(platform::systemErrorText(code)),
                         QString(), DialogIcon::Error);
        return true;
    }
    platform::syncDirectory(homeDir_);
    savedDir_ = renameTo;
    return true;
}

bool frmConfigure::chooseDirectory(const std::string& name, std::string& dirName, std::string& renameTo) {
    const auto holdsList = [](const std::string& dir) {
        return platform::fileExists(platform::resolveName(dir, "Settings.INI")) ||
               platform::fileExists(platform::resolveName(dir, "Members.TXT"));
    };
    const std::string target = listDirectory(name);
    if (openedDir_.empty()) {
        // A new list never takes over the files of another.
        if (holdsList(target))
            return refuse(QStringLiteral("A list named ") + shown(name) +
                              QStringLiteral(" already exists. Choose another name, or open that list with "
                                             "Configure..."),
                          0, txtName);
        dirName = entryName(target);
        return true;
    }
    dirName = openedDir_;
    // The directory keeps its name unless the user changed Name and wants
    // the directory to follow.
    if (name == openedName_ || name == openedDir_) return true;
    const QString question = QStringLiteral("The name of this list has changed. Rename its directory \"") +
                             shown(openedDir_) + QStringLiteral("\" to \"") + shown(name) +
                             QStringLiteral("\" as well?\r\n\r\nNo keeps the directory's name. Stop the service "
                                            "before renaming: a running service keeps using the old directory.");
    if (!dialogs_.question(this, question, QStringLiteral("Rename List"), DialogIcon::Question)) return true;
    const bool sameDirectory = target == listDirectory(openedDir_);  // only the letter case differs
    if (!sameDirectory && platform::pathExists(target.substr(0, target.size() - 1)))
        return refuse(QStringLiteral("A directory named ") + shown(name) +
                          QStringLiteral(" already exists beside the program, so the list can not be renamed to "
                                         "it. Choose another name."),
                      0, txtName);
    renameTo = name;
    return true;
}

bool frmConfigure::writeList(const std::string& dirName) {
    WaitCursor cursor;
    const auto failed = [this](uint32_t code) {
        dialogs_.message(this, QStringLiteral("Error: ") + QString::fromStdString(platform::systemErrorText(code)),
                         QString(), DialogIcon::Error);
        return false;
    };

    const std::string dir = withSlash(homeDir_ + dirName);
    if (!platform::createDirectory(dir)) {
        const uint32_t code = platform::lastErrorCode();
        if (!platform::directoryExists(dir)) return failed(code);
    }

    // Every change goes to a copy of Settings.INI first; the list's files
    // are only replaced once everything is on disk.
    const std::string settingsPath = platform::resolveName(dir, list::kSettingsFile);
    std::string previous;
    if (platform::fileExists(settingsPath) && !platform::readFile(settingsPath, previous))
        return failed(platform::lastErrorCode());
    std::string tempPath;
    if (!platform::writeTempFile(dir, "Settings-", ".TMP", previous, tempPath, settingsPath))
        return failed(platform::lastErrorCode());
    TempFile temp(tempPath);

    for (const SettingControl& control : settingControls()) {
        if (!list::writeSetting(temp.path(), control.setting, settingText(control)))
            return failed(platform::lastErrorCode());
    }
    // Security keys only when set, so a plain list's file keeps its lines; a
    // key the file already holds is emptied, which reads as not set.
    using list::Setting;
    const std::vector<std::pair<Setting, std::string>> security = {
        {Setting::Pop3Security, pop3Security.security},
        {Setting::Pop3CAFile, pop3Security.caFile},
        {Setting::Pop3AllowPlainAuth, pop3Security.allowPlainAuth ? "1" : ""},
        {Setting::SmtpSecurity, smtpSecurity.security},
        {Setting::SmtpCAFile, smtpSecurity.caFile},
        {Setting::SmtpUsername, smtpSecurity.username},
        {Setting::SmtpPassword, smtpSecurity.password},
        {Setting::SmtpAllowPlainAuth, smtpSecurity.allowPlainAuth ? "1" : ""},
    };
    for (const auto& [setting, value] : security) {
        if ((value.empty() && !list::hasSetting(temp.path(), setting)) ||
            list::writeSetting(temp.path(), setting, value))
            continue;
        return failed(platform::lastErrorCode());
    }

    // The engine's own member writer: administrators first, the new file
    // complete before it replaces the old one.
    MemberStore store;
    for (int i = 0; i < lstMembers->count(); ++i) {
        const QListWidgetItem* item = lstMembers->item(i);
        store.append(memberBytes(item), item->checkState() == Qt::Checked);
    }
    if (!list::writeMemberFile(dir, store)) return failed(platform::lastErrorCode());

    if (!platform::renameFile(temp.path(), settingsPath)) return failed(platform::lastErrorCode());
    temp.release();
    platform::syncDirectory(dir);
    return true;
}

void frmConfigure::cmdOK_Click() {
    if (Save()) accept();
}

void frmConfigure::cmdCancel_Click() { reject(); }

void frmConfigure::cmdHelp_Click() {
    if (showHelp) showHelp(page_ + 2);
}

void frmConfigure::cmdTestPOP3_Click() {
    std::string error;
    const Pop3Exports* pop3 = libraries.pop3(error);
    if (!pop3) {
        dialogs_.message(this, QString::fromStdString(error), QStringLiteral("Test POP3"), DialogIcon::Error);
        return;
    }
    // The call runs off this thread and may outlive a cancelled box: it owns copies.
    auto outcome = std::make_shared<TestOutcome>();
    const auto call = [outcome, exports = *pop3, server = fieldBytes(txtPOP3Server),
                       user = fieldBytes(txtPOP3Username), password = fieldBytes(txtPOP3Password),
                       security = pop3Security, dir = listDirectory(trimmed(txtName))] {
        applyPop3Security(exports, security, dir);
        *outcome = RunPop3Test(exports, server, user, password);
        applyPop3Security(exports, {}, {});
    };
    if (!runWhileBusy(this, QStringLiteral("Test POP3"), QStringLiteral("Testing the POP3 server..."), call)) return;
    dialogs_.message(this, outcome->text, QString(), outcome->icon);
}

void frmConfigure::cmdTestSMTP_Click() {
    std::string error;
    const SmtpExports* smtp = libraries.smtp(error);
    if (!smtp) {
        dialogs_.message(this, QString::fromStdString(error), QStringLiteral("Test SMTP"), DialogIcon::Error);
        return;
    }
    const std::optional<QString> recipient =
        dialogs_.input(this, QStringLiteral("Test E-Mail address to send to?"), QStringLiteral("Test SMTP"), QString());
    if (!recipient) return;
    auto outcome = std::make_shared<TestOutcome>();
    // The library keeps the security per thread: set where the test runs.
    const auto call = [outcome, exports = *smtp, server = fieldBytes(txtSMTPServer), from = fieldBytes(txtSMTPFrom),
                       to = recipient->toStdString(), security = smtpSecurity,
                       dir = listDirectory(trimmed(txtName))] {
        applySmtpSecurity(exports, security, dir);
        *outcome = RunSmtpTest(exports, server, from, to);
        applySmtpSecurity(exports, {}, {});
    };
    if (!runWhileBusy(this, QStringLiteral("Test SMTP"), QStringLiteral("Sending the test message..."), call)) return;
    dialogs_.message(this, outcome->text, QString(), outcome->icon);
}

void frmConfigure::showSecurity() {
    lblPOP3Security->setText(securitySummary(pop3Security, false));
    lblSMTPSecurity->setText(securitySummary(smtpSecurity, true));
}

void frmConfigure::cmdPOP3Security_Click() {
    frmSecurity dialog(false, pop3Security, this);
    if (!runSecurityDialog(dialog)) return;
    const SecurityValues v = dialog.values();
    pop3Security.security = v.security;
    pop3Security.caFile = v.caFile;
    showSecurity();
}

void frmConfigure::cmdSMTPSecurity_Click() {
    frmSecurity dialog(true, smtpSecurity, this);
    if (!runSecurityDialog(dialog)) return;
    smtpSecurity = dialog.values();
    showSecurity();
}

void frmConfigure::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    paintGradient(this, p, event->rect());
}

void frmConfigure::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layOutPageButtons();
    fitTextColours(this);
    update();
}
