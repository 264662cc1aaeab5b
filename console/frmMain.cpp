#include "frmMain.h"

#include "Dialogs.h"
#include "GradientPanel.h"
#include "StoredText.h"
#include "basRingpostCfg.h"
#include "clsRegistry.h"
#include "frmConfigure.h"
#include "frmHelp.h"
#include "list/ListDirectory.h"
#include "platform/Clock.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "text/TextRules.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>
#include <memory>

namespace {

constexpr char kWaitTime[] = "WaitTimeInMinutes";
constexpr int kClientWidth = 440;
constexpr int kClientHeight = 356;
constexpr int kDirectoryRole = Qt::UserRole;

// The polling interval the engine accepts: below 2 (or unset) means 10.
uint32_t clampInterval(uint32_t minutes) {
    if (minutes < 2) return 10;
    if (minutes > 60) return 60;
    return minutes;
}

// A wait's limit in words, rounded up to whole seconds.
QString seconds(uint32_t ms) {
    const uint32_t s = ms / 1000 + (ms % 1000 != 0);
    return s == 1 ? QStringLiteral("1 second") : QString::number(s) + QStringLiteral(" seconds");
}

}  // namespace

bool ListNameItem::operator<(const QListWidgetItem& other) const {
    return text().compare(other.text(), Qt::CaseInsensitive) < 0;
}

frmMain::frmMain(Dialogs& dialogs, std::string homeDir, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), homeDir_(withSlash(homeDir)), service_(homeDir_) {
    buildControls();
    openListEditor = [this](const QString& name) {
        frmConfigure editor(dialogs_, homeDir_, this);
        if (name.isEmpty())
            editor.setWindowTitle(QStringLiteral("Configure New List"));
        else
            editor.PopulateFormWith(name);
        editor.exec();
        return editor.savedDirectory();
    };
}

frmMain::~frmMain() = default;

void frmMain::buildControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kAppTitle);
    setFixedSize(kClientWidth, kClientHeight);

    lblLists = new QLabel(QStringLiteral("Lists:"), this);
    lblLists->setGeometry(10, 8, 200, 18);
    lstLists = new QListWidget(this);
    lstLists->setObjectName(QStringLiteral("lstLists"));
    lstLists->setToolTip(QStringLiteral("Lists"));
    lstLists->setSortingEnabled(true);
    lstLists->setGeometry(10, 28, 300, 150);

    const auto button = [this](const char* name, const QString& caption, const QString& tip, QRect geometry) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        b->setGeometry(geometry);
        return b;
    };
    cmdNew = button("cmdNew", QStringLiteral("Add..."), QStringLiteral("Create New List"), QRect(320, 28, 110, 28));
    cmdConfigure = button("cmdConfigure", QStringLiteral("Configure..."), QStringLiteral("Configure List"),
                          QRect(320, 62, 110, 28));
    cmdRemoveList = button("cmdRemoveList", QStringLiteral("Remove"), QStringLiteral("Delete List: removes the selected list and its files"),
                           QRect(320, 96, 110, 28));
    cmdHelp = button("cmdHelp", QStringLiteral("?"), QStringLiteral("Help"), QRect(400, 150, 30, 28));
    connect(cmdNew, &QPushButton::clicked, this, &frmMain::cmdNew_Click);
    connect(cmdConfigure, &QPushButton::clicked, this, &frmMain::cmdConfigure_Click);
    connect(cmdRemoveList, &QPushButton::clicked, this, &frmMain::cmdRemoveList_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmMain::cmdHelp_Click);

    lblService = new QLabel(QStringLiteral("Service:"), this);
    lblService->setGeometry(10, 196, 60, 18);

    for (size_t i = 0; i < picService.size(); ++i) {
        picService[i] = new GradientPanel(this);
        picService[i]->setObjectName(QStringLiteral("picService%1").arg(i));
    }
    picService[2]->setGeometry(70, 190, 360, 28);
    picService[0]->setGeometry(70, 220, 360, 28);
    picService[1]->setGeometry(70, 250, 360, 28);
    picService[3]->setGeometry(10, 284, 420, 38);

    const auto pair = [this](GradientPanel* panel, std::array<QRadioButton*, 2>& opt, const char* name,
                             const QString& caption0, const QString& tip0, const QString& caption1,
                             const QString& tip1) {
        opt[0] = new QRadioButton(caption0, panel);
        opt[1] = new QRadioButton(caption1, panel);
        opt[0]->setToolTip(tip0);
        opt[1]->setToolTip(tip1);
        opt[0]->setObjectName(QStringLiteral("%1_0").arg(QLatin1String(name)));
        opt[1]->setObjectName(QStringLiteral("%1_1").arg(QLatin1String(name)));
        opt[0]->setGeometry(5, 4, 110, 20);
        opt[1]->setGeometry(130, 4, 110, 20);
        auto* group = new QButtonGroup(panel);
        group->addButton(opt[0], 0);
        group->addButton(opt[1], 1);
        return group;
    };
    grpInstall_ = pair(picService[2], optInstall, "optInstall", QStringLiteral("Install"),
                       QStringLiteral("Install the Ringpost"), QStringLiteral("Removed"),
                       QStringLiteral("Remove the Ringpost service (the lists stay)"));
    grpRunning_ = pair(picService[0], optRunning, "optRunning", QStringLiteral("Start"),
                       QStringLiteral("Start the Ringpost"), QStringLiteral("Stopped"),
                       QStringLiteral("Stop the Ringpost"));
    grpStartup_ = pair(picService[1], optStartup, "optStartup", QStringLiteral("Auto"),
                       QStringLiteral("Ringpost Starts At Boot"), QStringLiteral("Manual"),
                       QStringLiteral("Ringpost Won't Start At Boot"));
    // Clicking the checked button again changes nothing, so only a button
    // becoming checked counts as a click.
    connect(grpInstall_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) optInstall_Click(id);
    });
    connect(grpRunning_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) optRunning_Click(id);
    });
    connect(grpStartup_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) optStartup_Click(id);
    });

    lblCheck[0] = new QLabel(QStringLiteral("Check for new messages every"), picService[3]);
    lblCheck[0]->setObjectName(QStringLiteral("lblCheck_0"));
    lblCheck[0]->setGeometry(5, 9, 300, 20);
    txtCheck = new QLineEdit(QStringLiteral("10"), picService[3]);
    txtCheck->setObjectName(QStringLiteral("txtCheck"));
    // The field starts where the caption ends, whatever the font.
    const int captionEnd = 5 + lblCheck[0]->fontMetrics().horizontalAdvance(lblCheck[0]->text()) + 6;
    txtCheck->setGeometry(captionEnd, 6, 40, 26);
    txtCheck->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), txtCheck));
    lblCheck[1] = new QLabel(QStringLiteral("minutes."), picService[3]);
    lblCheck[1]->setObjectName(QStringLiteral("lblCheck_1"));
    lblCheck[1]->setGeometry(captionEnd + 46, 9, 70, 20);
    cmdApply = new QPushButton(QStringLiteral("Apply"), picService[3]);
    cmdApply->setObjectName(QStringLiteral("cmdApply"));
    cmdApply->setGeometry(330, 5, 80, 28);
    connect(txtCheck, &QLineEdit::editingFinished, this, &frmMain::txtCheck_LostFocus);
    connect(cmdApply, &QPushButton::clicked, this, &frmMain::cmdApply_Click);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(10, 326, 420, 24);
    lblStatus->setWordWrap(true);

    tmrUpdate = new QTimer(this);
    tmrUpdate->setObjectName(QStringLiteral("tmrUpdate"));
    tmrUpdate->setInterval(10000);
    connect(tmrUpdate, &QTimer::timeout, this, &frmMain::UpdateStatus);

    fitTextColours(this);
}

void frmMain::load() {
    clsRegistry reg;
    // Unsigned, as the engine reads it: 4294967295 is far above 60, not -1.
    const uint32_t minutes = clampInterval(static_cast<uint32_t>(reg.ReadLong(HKEY_LOCAL_MACHINE, kServiceKey, kWaitTime)));
    reg.WriteLong(HKEY_LOCAL_MACHINE, kServiceKey, kWaitTime, static_cast<int32_t>(minutes));
    txtCheck->setText(QString::number(minutes));

    updating_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    fillLists();
    UpdateStatus();
    updating_ = false;
    tmrUpdate->start();
}

void frmMain::fillLists(const std::string& select) {
    lstLists->clear();
    for (const platform::DirEntry& e : platform::findFiles(homeDir_, "*")) {
        if (!e.isDirectory) continue;
        const std::string dir = homeDir_ + e.name;
        if (list::isListDirectory(dir, list::ListFiles::Readable)) {
            // The shown name may be decoded from Windows-1252; the entry
            // keeps the directory's own bytes for acting on it.
            auto* item = new ListNameItem(decodeStored(e.name).text);
            item->setData(kDirectoryRole, QByteArray(e.name.data(), static_cast<qsizetype>(e.name.size())));
            lstLists->addItem(item);
        }
    }
    if (lstLists->count() == 0) return;
    lstLists->setCurrentRow(0);
    for (int i = 0; i < lstLists->count() && !select.empty(); ++i) {
        if (lstLists->item(i)->data(kDirectoryRole).toByteArray().toStdString() == select) {
            lstLists->setCurrentRow(i);
            break;
        }
    }
}

void frmMain::showStatus(const QString& text) {
    lblStatus->setText(text);
    lblStatus->setToolTip(text);
}

void frmMain::afterEditor(const std::string& savedDir) {
    std::string keep = savedDir;
    if (keep.empty() && lstLists->currentItem())
        keep = lstLists->currentItem()->data(kDirectoryRole).toByteArray().toStdString();
    // A saved list shows up at once, under its directory's (maybe new) name.
    fillLists(keep);
    if (savedDir.empty()) return;
    const QString shownName = decodeStored(savedDir).text;
    if (service_.QueryServiceRunning() == 1)
        showStatus(QStringLiteral("List ") + shownName +
                   QStringLiteral(" saved. The running service reads it when it is next started."));
    else
        showStatus(QStringLiteral("List ") + shownName +
                   QStringLiteral(" saved. The service reads it when it starts."));
}

void frmMain::UpdateStatus() {
    if (refreshing_ || busy_) return;
    refreshing_ = true;
    const bool wasUpdating = updating_;
    updating_ = true;

    const bool installed = service_.IsServiceInstalled();
    if (installed) {
        optInstall[0]->setChecked(true);
        const int running = service_.QueryServiceRunning();
        if (running == 0) optRunning[1]->setChecked(true);
        if (running == 1) optRunning[0]->setChecked(true);
        (service_.IsServiceAuto() ? optStartup[0] : optStartup[1])->setChecked(true);
    } else {
        optInstall[1]->setChecked(true);
        optRunning[1]->setChecked(true);
        optStartup[1]->setChecked(true);
    }

    if (installed) {
        optInstall[0]->setText(QStringLiteral("Installed"));
        optInstall[1]->setText(QStringLiteral("Remove"));
    } else {
        optInstall[0]->setText(QStringLiteral("Install"));
        optInstall[1]->setText(QStringLiteral("Removed"));
    }
    picService[0]->setVisible(installed);
    picService[1]->setVisible(installed);
    picService[3]->setVisible(installed);

    const bool running = optRunning[0]->isChecked();
    if (running) {
        optRunning[0]->setText(QStringLiteral("Started"));
        optRunning[1]->setText(QStringLiteral("Stop"));
        lblCheck[0]->setText(QStringLiteral("Checking for new messages every ") + txtCheck->text() +
                             QStringLiteral(" minutes."));
    } else {
        optRunning[0]->setText(QStringLiteral("Start"));
        optRunning[1]->setText(QStringLiteral("Stopped"));
        lblCheck[0]->setText(QStringLiteral("Check for new messages every"));
    }
    lblCheck[1]->setVisible(!running);
    txtCheck->setVisible(!running);
    cmdApply->setVisible(!running);

    updating_ = wasUpdating;
    refreshing_ = false;
}

void frmMain::selectQuietly(QRadioButton* button) {
    const bool was = updating_;
    updating_ = true;
    button->setChecked(true);
    updating_ = was;
}

bool frmMain::ignoresOptionClick() {
    if (!isVisible()) return true;
    if (updating_ || busy_) {
        UpdateStatus();
        return true;
    }
    return false;
}

bool frmMain::confirmOption(const std::array<QRadioButton*, 2>& pair, int index, const QString& text,
                            const QString& title) {
    if (dialogs_.question(this, text, title, DialogIcon::Question)) return true;
    selectQuietly(pair[1 - index]);
    UpdateStatus();
    return false;
}

void frmMain::optInstall_Click(int index) {
    if (ignoresOptionClick()) return;
    if (index == 0) {
        if (!confirmOption(optInstall, index,
                           QStringLiteral("Are you sure you wish to install KOVA(tm) Ringpost as a service?"),
                           QStringLiteral("Install Service")))
            return;
        if (!InstallService()) selectQuietly(optInstall[1]);
    } else {
        if (optRunning[0]->isChecked()) {
            dialogs_.message(this, QStringLiteral("Before removing the service, you must stop the service."),
                             QStringLiteral("Remove Service"), DialogIcon::Error);
            selectQuietly(optInstall[0]);
            return;
        }
        if (!confirmOption(optInstall, index,
                           QStringLiteral("Are you sure you wish to remove the KOVA(tm) Ringpost service?"),
                           QStringLiteral("Remove Service")))
            return;
        if (!RemoveService()) selectQuietly(optInstall[0]);
    }
    UpdateStatus();
}

void frmMain::optRunning_Click(int index) {
    if (ignoresOptionClick()) return;
    const QString text = index == 0 ? QStringLiteral("Are you sure you wish to start the KOVA(tm) Ringpost service?")
                                    : QStringLiteral("Are you sure you wish to stop the KOVA(tm) Ringpost service?");
    const QString title = index == 0 ? QStringLiteral("Start Service") : QStringLiteral("Stop Service");
    if (!confirmOption(optRunning, index, text, title)) return;
    if (index == 0)
        StartTheService();
    else
        StopTheService();
    UpdateStatus();
}

void frmMain::optStartup_Click(int index) {
    if (ignoresOptionClick()) return;
    const QString text =
        index == 0 ? QStringLiteral("Are you sure you wish to have KOVA(tm) Ringpost start automatically at boot time?")
                   : QStringLiteral(
                         "Are you sure you wish to NOT have KOVA(tm) Ringpost start automatically at boot time?");
    const QString title = index == 0 ? QStringLiteral("Auto Service") : QStringLiteral("Manual Service");
    if (!confirmOption(optStartup, index, text, title)) return;
    if (index == 0)
        SetServiceAuto();
    else
        SetServiceManual();
    UpdateStatus();
}

void frmMain::setBusy(bool busy) {
    busy_ = busy;
    for (auto* opt : {optInstall[0], optInstall[1], optRunning[0], optRunning[1], optStartup[0], optStartup[1]})
        opt->setEnabled(!busy);
    cmdApply->setEnabled(!busy);
    cmdRemoveList->setEnabled(!busy);
}

void frmMain::pumpEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    platform::sleepMs(20);
}

bool frmMain::InstallService() {
    if (service_.IsServiceInstalled()) {
        UpdateStatus();
        return true;
    }
    WaitCursor cursor;
    setBusy(true);
    const int64_t code = service_.runEngine("-install", engineWaitMs, [this] { pumpEvents(); });
    setBusy(false);
    if (code == 0) {
        // A fresh service key has no interval: store the one shown, so the
        // engine runs with what the window says.
        const int minutes = intervalFromField();
        txtCheck->setText(QString::number(minutes));
        clsRegistry reg;
        reg.WriteLong(HKEY_LOCAL_MACHINE, kServiceKey, kWaitTime, minutes);
        showStatus(QStringLiteral("Service installed."));
    } else {
        showStatus(QStringLiteral("The service could not be installed (the engine program ended with code ") +
                   QString::number(code) + QStringLiteral(")."));
    }
    UpdateStatus();
    return code == 0;
}

bool frmMain::RemoveService() {
    if (!service_.IsServiceInstalled()) {
        UpdateStatus();
        return true;
    }
    if (optRunning[0]->isChecked()) return false;
    WaitCursor cursor;
    setBusy(true);
    const int64_t code = service_.runEngine("-remove", engineWaitMs, [this] { pumpEvents(); });
    setBusy(false);
    showStatus(code == 0 ? QStringLiteral("Service removed.")
                         : QStringLiteral("The service could not be removed (the engine program ended with code ") +
                               QString::number(code) + QStringLiteral(")."));
    UpdateStatus();
    return code == 0;
}

bool frmMain::StartTheService() {
    if (service_.QueryServiceRunning() != 0 || !service_.IsServiceInstalled()) {
        UpdateStatus();
        return false;
    }
    WaitCursor cursor;
    setBusy(true);
    const ServiceControl::StartOutcome out = service_.startService(startWaitMs, [this] { pumpEvents(); });
    setBusy(false);
    if (out.stopped) {
        cursor.restore();
        if (out.win32ExitCode == platform::kErrorServiceSpecificError) {
            QString text;
            switch (out.specificExitCode) {
                case 1: text = QStringLiteral("Service start failure. Service not properly installed."); break;
                case 2: text = QStringLiteral("Service start failure. Unable to create stop event."); break;
                case 3:
                    text = QStringLiteral("Service start failure. List initialization failure. If you haven't "
                                          "created any lists, this message will appear.");
                    break;
                default: break;
            }
            if (!text.isEmpty()) dialogs_.message(this, text, QString(), DialogIcon::Error);
        }
    }
    if (out.running)
        showStatus(QStringLiteral("Service started."));
    else if (out.stopped)
        showStatus(QStringLiteral("The service stopped while starting."));
    else if (out.timedOut)
        showStatus(QStringLiteral("The service did not report running within ") + seconds(startWaitMs) +
                   QStringLiteral(". It may still be starting: the state shown is checked every 10 seconds."));
    else
        showStatus(QStringLiteral("The service could not be started."));
    UpdateStatus();
    return out.running;
}

bool frmMain::StopTheService() {
    if (service_.QueryServiceRunning() != 1 || !service_.IsServiceInstalled()) {
        UpdateStatus();
        return false;
    }
    WaitCursor cursor;
    setBusy(true);
    const ServiceControl::StopOutcome out = service_.stopService(stopWaitMs, [this] { pumpEvents(); });
    setBusy(false);
    switch (out) {
        case ServiceControl::StopOutcome::Stopped: showStatus(QStringLiteral("Service stopped.")); break;
        case ServiceControl::StopOutcome::Refused:
            showStatus(QStringLiteral("The service did not accept the stop request."));
            break;
        case ServiceControl::StopOutcome::TimedOut:
            showStatus(QStringLiteral("The service did not stop within ") + seconds(stopWaitMs) +
                       QStringLiteral(". It may be finishing a pass: the state shown is checked every 10 "
                                      "seconds."));
            break;
    }
    UpdateStatus();
    return out == ServiceControl::StopOutcome::Stopped;
}

bool frmMain::SetServiceAuto() {
    const bool ok = service_.setStartType(kStartAuto);
    UpdateStatus();
    return ok;
}

bool frmMain::SetServiceManual() {
    const bool ok = service_.setStartType(kStartDemand);
    UpdateStatus();
    return ok;
}

void frmMain::cmdNew_Click() {
    if (openListEditor) afterEditor(openListEditor(QString()));
}

void frmMain::cmdConfigure_Click() {
    QListWidgetItem* item = lstLists->currentItem();
    if (item && openListEditor) afterEditor(openListEditor(item->text()));
}

void frmMain::cmdRemoveList_Click() {
    QListWidgetItem* item = lstLists->currentItem();
    if (!item) return;
    const QString name = item->text();
    if (!dialogs_.question(this,
                           QStringLiteral("Are you sure you wish to permanently remove the ") + name +
                               QStringLiteral(" list? This can not be undone!"),
                           QStringLiteral("Remove List"), DialogIcon::Error))
        return;

    // Group members write in the list: nothing in it, nor the list's own
    // entry, may lead the removal elsewhere.
    const uint32_t error = list::removeListDirectory(homeDir_, item->data(kDirectoryRole).toByteArray().toStdString());
    if (error != 0) {
        dialogs_.message(this,
                         QStringLiteral("Error #") + QString::number(error) + QStringLiteral(" removing ") + name +
                             QStringLiteral(" list: ") + QString::fromStdString(platform::systemErrorText(error)),
                         QStringLiteral("Remove List"), DialogIcon::Error);
    }
    std::unique_ptr<QListWidgetItem> taken(lstLists->takeItem(lstLists->row(item)));
    if (lstLists->count() > 0)
        lstLists->setCurrentRow(0);
    else
        lstLists->setCurrentRow(-1);
}

void frmMain::cmdHelp_Click() {
    frmHelp help(dialogs_, homeDir_, this);
    help.DisplayHelp(0);
}

int frmMain::intervalFromField() const {
    return static_cast<int>(clampInterval(text::atoul32(txtCheck->text().toStdString())));
}

void frmMain::txtCheck_LostFocus() { txtCheck->setText(QString::number(intervalFromField())); }

void frmMain::cmdApply_Click() {
    if (!cmdApply->isVisible() || !txtCheck->isVisible()) return;
    const int minutes = intervalFromField();
    txtCheck->setText(QString::number(minutes));
    clsRegistry reg;
    if (reg.WriteLong(HKEY_LOCAL_MACHINE, kServiceKey, kWaitTime, minutes))
        showStatus(QStringLiteral("Interval of ") + QString::number(minutes) +
                   QStringLiteral(" minutes stored. The service uses it from its next start."));
    else
        showStatus(QStringLiteral("The interval could not be stored."));
}

void frmMain::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    paintGradient(this, p, event->rect());
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitTextColours(this);
    update();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A wait in progress owns the window until it ends.
    if (busy_)
        event->ignore();
    else
        event->accept();
}
