// Loading a list into the editor and saving it: the settings through the
// list files' table of keys, the members through the shared member writer.
#include "frmConfigure.h"

#include "BusyCall.h"
#include "Dialogs.h"
#include "basRingpostCfg.h"
#include "frmConfigureCommon.h"
#include "list/ListDirectory.h"
#include "list/MemberFile.h"
#include "platform/Directory.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <cmath>

using namespace editor;

namespace {

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

std::string flagText(const QCheckBox* box) { return box->isChecked() ? "1" : "0"; }

}  // namespace

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
        {Setting::BounceLimit, txtBounceLimit, nullptr},
        {Setting::BounceDays, txtBounceDays, nullptr},
        {Setting::SmtpMaxPerMinute, txtMaxPerMinute, nullptr},
        {Setting::SmtpMaxPerHour, txtMaxPerHour, nullptr},
        {Setting::SmtpMaxPerDay, txtMaxPerDay, nullptr},
        {Setting::AdminPassword, txtAdminPassword, nullptr},
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
                                  list::parseOptIn(read(Setting::Pop3AllowPlainAuth)), read(Setting::Pop3Auth)};
    smtpSecurity = SecurityValues{read(Setting::SmtpSecurity), read(Setting::SmtpCAFile), read(Setting::SmtpUsername),
                                  read(Setting::SmtpPassword), list::parseOptIn(read(Setting::SmtpAllowPlainAuth)),
                                  read(Setting::SmtpAuth)};
    for (const auto& [setting, field] : oauth::kStoredKeys) oauthValues.*field = read(setting);
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

bool frmConfigure::Save() {
    const std::string name = trimmed(txtName);
    if (!checkGeneralPage(name) || !checkMailPages() || !checkMembersPage()) return false;

    std::string dirName;
    std::string renameTo;
    if (!chooseDirectory(name, dirName, renameTo)) return false;
    if (!writeList(dirName)) return false;
    savedDir_ = dirName;
    if (!renameTo.empty()) renameDirectory(dirName, renameTo);
    return true;
}

// The checks run page by page; the first that fails tells the user and
// brings its page and field forward.
bool frmConfigure::checkGeneralPage(const std::string& name) {
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
    return true;
}

bool frmConfigure::checkMailPages() {
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
    return true;
}

bool frmConfigure::checkMembersPage() {
    if (lstMembers->count() == 0)
        return refuse(QStringLiteral("You must enter at least one member to this list."), 3, txtMember);
    bool anyAdministrator = false;
    for (int i = 0; i < lstMembers->count() && !anyAdministrator; ++i)
        anyAdministrator = lstMembers->item(i)->checkState() == Qt::Checked;
    if (!anyAdministrator)
        return refuse(QStringLiteral("You must have at least one administrator for this list."), 3, lstMembers);
    return true;
}

// The files are saved; only the directory's name is left to change.
void frmConfigure::renameDirectory(const std::string& dirName, const std::string& renameTo) {
    if (!platform::renameNoReplace(homeDir_ + dirName, homeDir_ + renameTo)) {
        const uint32_t code = platform::lastErrorCode();
        dialogs_.message(this,
                         QStringLiteral("The list was saved, but its directory \"") + shown(dirName) +
                             QStringLiteral("\" could not be renamed to \"") + shown(renameTo) +
                             QStringLiteral("\": ") + QString::fromStdString(platform::systemErrorText(code)),
                         QString(), DialogIcon::Error);
        return;
    }
    platform::syncDirectory(homeDir_);
    savedDir_ = renameTo;
}

bool frmConfigure::chooseDirectory(const std::string& name, std::string& dirName, std::string& renameTo) {
    const auto holdsList = [](const std::string& dir) {
        return platform::fileExists(platform::resolveName(dir, list::kSettingsFile)) ||
               platform::fileExists(platform::resolveName(dir, list::kMemberFile));
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
    // are only replaced once everything is on disk. Group members write in
    // the list too: a link at Settings.INI is replaced, never read or
    // written through.
    const platform::Directory listDir = platform::Directory::open(dir);
    if (!listDir) return failed(platform::lastErrorCode());
    const std::string settingsName = listDir.findName(list::kSettingsFile);
    std::string settings;
    if (listDir.type(settingsName) == platform::EntryType::File && !listDir.readFile(settingsName, settings))
        return failed(platform::lastErrorCode());
    writeSettings(settings);
    platform::PendingFile temp;
    if (!listDir.writeTemporary("Settings-", ".TMP", settings, temp, settingsName))
        return failed(platform::lastErrorCode());

    // The member writer the engine uses too: administrators first, the new file
    // complete before it replaces the old one.
    if (!list::writeMemberFile(dir, membersToWrite())) return failed(platform::lastErrorCode());

    if (!temp.commit(settingsName)) return failed(platform::lastErrorCode());
    return true;
}

void frmConfigure::writeSettings(std::string& settings) const {
    const auto has = [&](list::Setting setting) { return list::hasSettingIn(settings, setting); };
    const auto set = [&](list::Setting setting, std::string_view value) {
        settings = list::withSetting(settings, setting, value);
    };
    for (const SettingControl& control : settingControls()) {
        const list::SettingKey& key = list::settingKey(control.setting);
        const std::string value = settingText(control);
        // An optional key at the engine's default is left out of a file that
        // lacks it, so a plain list's file keeps its lines.
        if (key.optional && value == key.engineDefault && !has(control.setting)) continue;
        set(control.setting, value);
    }
    // Security keys only when set, so a plain list's file keeps its lines; a
    // key the file already holds is emptied, which reads as not set.
    using list::Setting;
    std::vector<std::pair<Setting, std::string>> security = {
        {Setting::Pop3Security, pop3Security.security},
        {Setting::Pop3CAFile, pop3Security.caFile},
        {Setting::Pop3AllowPlainAuth, pop3Security.allowPlainAuth ? "1" : ""},
        {Setting::SmtpSecurity, smtpSecurity.security},
        {Setting::SmtpCAFile, smtpSecurity.caFile},
        {Setting::SmtpUsername, smtpSecurity.username},
        {Setting::SmtpPassword, smtpSecurity.password},
        {Setting::SmtpAllowPlainAuth, smtpSecurity.allowPlainAuth ? "1" : ""},
        {Setting::Pop3Auth, pop3Security.auth},
        {Setting::SmtpAuth, smtpSecurity.auth},
    };
    for (const auto& [setting, field] : oauth::kStoredKeys) security.emplace_back(setting, oauthValues.*field);
    for (const auto& [setting, value] : security) {
        if (value.empty() && !has(setting)) continue;
        set(setting, value);
    }
}

MemberStore frmConfigure::membersToWrite() const {
    MemberStore store;
    for (int i = 0; i < lstMembers->count(); ++i) {
        const QListWidgetItem* item = lstMembers->item(i);
        store.append(memberBytes(item), item->checkState() == Qt::Checked);
    }
    return store;
}
