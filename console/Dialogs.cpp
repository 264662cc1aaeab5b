#include "Dialogs.h"

#include "basRingpostCfg.h"
#include "clsPrintDlgFlags.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

const QString& titleOrApp(const QString& title) { return title.isEmpty() ? kAppTitle : title; }

QMessageBox::Icon boxIcon(DialogIcon icon) {
    switch (icon) {
        case DialogIcon::Information: return QMessageBox::Information;
        case DialogIcon::Question: return QMessageBox::Question;
        case DialogIcon::Warning: return QMessageBox::Warning;
        case DialogIcon::Error: return QMessageBox::Critical;
        case DialogIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void Dialogs::message(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) {
    showMessage(owner, text, titleOrApp(title), icon);
}

bool Dialogs::question(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) {
    return askQuestion(owner, text, titleOrApp(title), icon);
}

std::optional<QString> Dialogs::input(QWidget* owner, const QString& prompt, const QString& title, const QString& defaultText) {
    return askInput(owner, prompt, titleOrApp(title), defaultText);
}

bool Dialogs::choosePrinter(QWidget* owner, QPrinter& printer, uint32_t flags) {
    return showPrintDialog(owner, printer, flags);
}

void QtDialogs::showMessage(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) {
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, owner);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

bool QtDialogs::askQuestion(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) {
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::askInput(QWidget* owner, const QString& prompt, const QString& title,
                                           const QString& defaultText) {
    bool ok = false;
    const QString text = QInputDialog::getText(owner, title, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok) return std::nullopt;
    return text;
}

bool QtDialogs::showPrintDialog(QWidget* owner, QPrinter& printer, uint32_t flags) {
    QPrintDialog dialog(&printer, owner);
    const clsPrintDlgFlags f(flags);
    QAbstractPrintDialog::PrintDialogOptions options = dialog.options();
    options.setFlag(QAbstractPrintDialog::PrintSelection, !f.NoSelection());
    options.setFlag(QAbstractPrintDialog::PrintPageRange, !f.NoPageNums());
    options.setFlag(QAbstractPrintDialog::PrintToFile, !(f.HidePrintToFile() || f.DisablePrintToFile()));
    options.setFlag(QAbstractPrintDialog::PrintCollateCopies, true);
    dialog.setOptions(options);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDialogs::hasPrinter() { return !QPrinterInfo::availablePrinterNames().isEmpty(); }

std::optional<QString> QtDialogs::askSaveFileName(QWidget* owner, const QString& title, const QString& suggested,
                                                  const QString& filter) {
    const QString path = QFileDialog::getSaveFileName(owner, title, suggested, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
}
