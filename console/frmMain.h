// The console's main window: the lists beside the program, and the engine's
// service (installed, running, start at boot, polling interval).
#pragma once

#include "ServiceControl.h"

#include <QListWidget>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

class Dialogs;
class GradientPanel;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// List entries sort ignoring letter case, like the classic sorted list box.
class ListNameItem : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem& other) const override;
};

class frmMain : public QWidget {
    Q_OBJECT
public:
    frmMain(Dialogs& dialogs, std::string homeDir, QWidget* parent = nullptr);
    ~frmMain() override;

    // Reads and stores the polling interval, fills the list of lists and
    // shows the service's state (before the window is shown).
    void load();

    // Opens the list editor modally for a new list (empty name) or the named
    // list; returns the directory name a save wrote into, empty when nothing
    // was saved. Tests replace it.
    std::function<std::string(const QString& listName)> openListEditor;

    // Bounds of the waits for the engine program and the service.
    uint32_t engineWaitMs = 60000;
    uint32_t startWaitMs = 60000;
    uint32_t stopWaitMs = 600000;

    void UpdateStatus();
    bool InstallService();
    bool RemoveService();
    bool StartTheService();
    bool StopTheService();
    bool SetServiceAuto();
    bool SetServiceManual();

    void cmdNew_Click();
    void cmdConfigure_Click();
    void cmdRemoveList_Click();
    void cmdHelp_Click();
    void cmdApply_Click();
    void txtCheck_LostFocus();

    // True while a service action waits.
    bool busy() const { return busy_; }
    ServiceControl& service() { return service_; }

    QLabel* lblLists;
    QListWidget* lstLists;
    QPushButton* cmdNew;
    QPushButton* cmdConfigure;
    QPushButton* cmdRemoveList;
    QPushButton* cmdHelp;
    QLabel* lblService;
    std::array<GradientPanel*, 4> picService;
    std::array<QRadioButton*, 2> optInstall;
    std::array<QRadioButton*, 2> optRunning;
    std::array<QRadioButton*, 2> optStartup;
    std::array<QLabel*, 2> lblCheck;
    QLineEdit* txtCheck;
    QPushButton* cmdApply;
    QTimer* tmrUpdate;
    // What the last action did, in words.
    QLabel* lblStatus;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    // Fills the list of lists; selects the entry of directory `select` when
    // given and present, else the first.
    void fillLists(const std::string& select = {});
    void afterEditor(const std::string& savedDir);
    void showStatus(const QString& text);
    void optInstall_Click(int index);
    void optRunning_Click(int index);
    void optStartup_Click(int index);
    // Selects a button as the window's own change: its handler asks nothing.
    void selectQuietly(QRadioButton* button);
    // True when a click on an option button is the window's own doing or
    // comes while a change is under way: nothing is asked or done.
    bool ignoresOptionClick();
    // Asks before the option `index` of `pair` takes effect; a No puts the
    // other option back, quietly.
    bool confirmOption(const std::array<QRadioButton*, 2>& pair, int index, const QString& text,
                       const QString& title);
    void setBusy(bool busy);
    void pumpEvents();
    int intervalFromField() const;

    Dialogs& dialogs_;
    std::string homeDir_;
    ServiceControl service_;
    QButtonGroup* grpInstall_;
    QButtonGroup* grpRunning_;
    QButtonGroup* grpStartup_;
    bool updating_ = false;
    bool refreshing_ = false;
    bool busy_ = false;
};
