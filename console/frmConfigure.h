// The list editor: one list's settings on five pages, checked and written
// to the list directory's Settings.INI and Members.TXT when the user saves.
#pragma once

#include "MailLibraries.h"
#include "frmSecurity.h"
#include "list/ListSettings.h"
#include "list/MemberStore.h"

#include <QDialog>
#include <array>
#include <functional>
#include <string>
#include <vector>

class ClickableLabel;
class Dialogs;
class GradientPanel;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

class frmConfigure : public QDialog {
    Q_OBJECT
public:
    frmConfigure(Dialogs& dialogs, std::string homeDir, QWidget* parent = nullptr);
    ~frmConfigure() override;

    // Fills the controls from the list shown under `listName` in the main
    // window. Called before the window is shown.
    void PopulateFormWith(const QString& listName);

    // Brings a page (0 General .. 4 Messages) to the front.
    void selectPage(int index);
    int currentPage() const { return page_; }

    // The save checks and the writing; true when both files were written.
    bool Save();

    // The directory name (as stored) the last save wrote into; empty before.
    const std::string& savedDirectory() const { return savedDir_; }

    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdTestPOP3_Click();
    void cmdTestSMTP_Click();
    void cmdPOP3Security_Click();
    void cmdSMTPSecurity_Click();

    // Connection security of each side, as read from and written to the
    // list's settings (keys written only when set).
    SecurityValues pop3Security;
    SecurityValues smtpSecurity;
    // The [OAuth2] section both sides share (keys written only when set).
    OAuthValues oauthValues;
    // Lets a test play the browser in the security dialogs' sign-in.
    std::function<void(frmSecurity&)> prepareSecurityDialog;
    // Shows the security dialog; true when the user chose OK. Tests replace it.
    std::function<bool(frmSecurity&)> runSecurityDialog;
    QPushButton* cmdPOP3Security;
    QLabel* lblPOP3Security;
    QPushButton* cmdSMTPSecurity;
    QLabel* lblSMTPSecurity;

    // Opens the help window at a topic; tests replace it.
    std::function<void(int topic)> showHelp;
    // Where the connection tests find the mail libraries.
    MailLibraries libraries;

    std::array<QPushButton*, 5> optOptions;
    std::array<GradientPanel*, 5> picOptions;

    QLineEdit* txtName;
    QLineEdit* txtSubscribe;
    QLineEdit* txtUnsubscribe;
    QLineEdit* txtSubmit;
    QCheckBox* chkSubscribe;
    QCheckBox* chkUnsubscribe;
    QCheckBox* chkSubmit;
    std::array<ClickableLabel*, 3> lblRequireAdmin;
    QLineEdit* txtBounceLimit;
    QLineEdit* txtBounceDays;
    QLineEdit* txtAdminPassword;

    QLineEdit* txtPOP3Server;
    QLineEdit* txtPOP3Username;
    QLineEdit* txtPOP3Password;
    QPushButton* cmdTestPOP3;

    QLineEdit* txtSMTPServer;
    QLineEdit* txtSMTPFrom;
    QLineEdit* txtSMTPReplyTo;
    QCheckBox* chkStripAttachments;
    QCheckBox* chkStripHTML;
    ClickableLabel* lblStripAttachments;
    ClickableLabel* lblStripHTML;
    QLineEdit* txtMaxPerMinute;
    QLineEdit* txtMaxPerHour;
    QLineEdit* txtMaxPerDay;
    QPushButton* cmdTestSMTP;

    QLabel* lblMembers;
    QListWidget* lstMembers;
    QLineEdit* txtMember;
    QPushButton* cmdAdd;
    QPushButton* cmdRemove;

    QLineEdit* txtPrepend;
    QLineEdit* txtPostpend;
    QLineEdit* txtWelcome;
    QLineEdit* txtKeep;

    QLabel* lblYellow;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QPushButton* cmdHelp;

    // The bytes of a member entry as they are written to Members.TXT.
    static std::string memberBytes(const QListWidgetItem* item);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The control that shows each setting of the list's file but the
    // security keys, which pop3Security and smtpSecurity hold.
    struct SettingControl {
        list::Setting setting;
        QLineEdit* field;
        QCheckBox* box;
    };
    std::vector<SettingControl> settingControls() const;
    // Fills the controls and the security values, each from `value` of its key.
    void showSettings(const std::function<std::string(const list::SettingKey&)>& value);
    // A control's value as it is written to the file.
    std::string settingText(const SettingControl& control) const;

    // The controls, page by page (frmConfigurePages.cpp).
    void buildControls();
    void buildPageButtons();
    void buildGeneralPage(QWidget* page);
    void buildPop3Page(QWidget* page);
    void buildSmtpPage(QWidget* page);
    void buildMembersPage(QWidget* page);
    void buildMessagesPage(QWidget* page);
    void buildWindowButtons();
    void connectControls();
    void layOutPageButtons();
    void addMember(const std::string& address, bool administrator);
    void lstMembers_ItemCheck(QListWidgetItem* item);
    void upperCaseField(QLineEdit* field);
    bool refuse(const QString& text, int page, QWidget* focus);
    bool confirm(const QString& text, int page, QWidget* focus);
    // The save checks of each page; false after telling the user.
    bool checkGeneralPage(const std::string& name);
    bool checkMailPages();
    bool checkMembersPage();
    bool writeList(const std::string& dirName);
    // Into the text of Settings.INI, every other line kept.
    void writeSettings(std::string& settings) const;
    MemberStore membersToWrite() const;
    void renameDirectory(const std::string& dirName, const std::string& renameTo);
    // Where a save goes: the directory the editor was opened on, or one for
    // a new list. Sets `renameTo` when the user wants the directory renamed.
    bool chooseDirectory(const std::string& name, std::string& dirName, std::string& renameTo);
    std::string listDirectory(const std::string& name) const;
    // Where this list's OAuth2.TOK lives: the directory it was opened from, or the one a save would make.
    std::string signInDirectory() const;
    // Runs the security dialog of one side; false when cancelled.
    bool editSecurity(bool smtp, SecurityValues& values);
    void showSecurity();

    Dialogs& dialogs_;
    std::string homeDir_;
    std::string openedDir_;   // directory name of an existing list, as stored
    std::string openedName_;  // its trimmed Name setting when opened
    std::string savedDir_;
    QButtonGroup* grpOptions_;
    int page_ = 0;
    bool itemCheckGuard_ = false;
};
