#include "frmHelp.h"

#include "Dialogs.h"
#include "HelpPrinting.h"
#include "HelpTopics.h"
#include "basRingpostCfg.h"
#include "clsPrintDlg.h"

#include <QDir>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {
const QSize kOuterSize(640, 480);
}  // namespace

frmHelp::frmHelp(Dialogs& dialogs, std::string homeDir, QWidget* parent)
    : QDialog(parent),
      dialogs_(dialogs),
      homeDir_(std::move(homeDir)),
      txtHelp_(new QPlainTextEdit(this)),
      cmdClose_(new QPushButton(QStringLiteral("Close"), this)),
      cmdPrint_(new QPushButton(QStringLiteral("Print..."), this)) {
    setWindowTitle(QStringLiteral("Help"));
    setObjectName(QStringLiteral("frmHelp"));
    txtHelp_->setObjectName(QStringLiteral("txtHelp"));
    txtHelp_->setReadOnly(true);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    cmdClose_->setToolTip(QStringLiteral("Close this screen"));
    cmdPrint_->setObjectName(QStringLiteral("cmdPrint"));
    cmdPrint_->setToolTip(QStringLiteral("Print Help Text"));
    cmdClose_->setAutoDefault(false);
    cmdPrint_->setAutoDefault(false);
    connect(cmdClose_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdPrint_, &QPushButton::clicked, this, &frmHelp::cmdPrint_Click);

    resize(kOuterSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(kOuterSize.width() / 2, kOuterSize.height() / 2));
    }
    layOut();
}

void frmHelp::setTopic(int topic) {
    helpText_ = QString::fromStdString(helpTopicText(topic, homeDir_));
    QString shown = helpText_;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtHelp_->setPlainText(shown);
}

void frmHelp::DisplayHelp(int topic) {
    setTopic(topic);
    exec();
}

void frmHelp::cmdPrint_Click() {
    clsPrintDlg dlg(dialogs_);
    dlg.Flags().setNoPageNums(true);
    dlg.Flags().setNoSelection(true);
    dlg.setHWndOwner(this);
    if (dialogs_.printerAvailable()) {
        if (!dlg.ShowPrint()) return;
    } else {
        // The print dialog would offer nothing to print on.
        if (!dialogs_.question(this,
                               QStringLiteral("No printer is set up on this computer. Print the help text to a PDF "
                                              "file instead?"),
                               QStringLiteral("Print"), DialogIcon::Question))
            return;
        const std::optional<QString> path =
            dialogs_.saveFileName(this, QStringLiteral("Print to PDF File"),
                                  QDir::home().filePath(QStringLiteral("Ringpost Help.pdf")),
                                  QStringLiteral("PDF files (*.pdf)"));
        if (!path) return;
        dlg.UsePdfFile(*path);
    }
    if (!printHelpText(dlg, helpText_, QStringLiteral("KOVA(tm) Ringpost Help")))
        dialogs_.message(this, QStringLiteral("The help text could not be printed."), QStringLiteral("Print"),
                         DialogIcon::Error);
}

void frmHelp::layOut() {
    const int w = width();
    const int h = height();
    const QSize b = cmdClose_->sizeHint().expandedTo(QSize(90, 25)).expandedTo(cmdPrint_->sizeHint());
    cmdClose_->setGeometry(w - 5 - b.width(), h - 5 - b.height(), b.width(), b.height());
    cmdPrint_->setGeometry(w - 10 - 2 * b.width(), h - 5 - b.height(), b.width(), b.height());
    txtHelp_->setGeometry(5, 5, std::max(0, w - 10), std::max(0, h - 20 - b.height()));
}

void frmHelp::fitOuterSize() {
    const QSize extra = frameGeometry().size() - geometry().size();
    if (extra == frameExtra_) return;
    frameExtra_ = extra;
    resize(kOuterSize - extra);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(kOuterSize.width() / 2, kOuterSize.height() / 2));
    }
}

void frmHelp::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fitOuterSize();
}

void frmHelp::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    fitOuterSize();
}

void frmHelp::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitOuterSize();
    layOut();
    update();
}

void frmHelp::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    paintGradient(this, p, event->rect());
}
