#include "clsPrintDlg.h"

#include "Dialogs.h"

#include <QPageLayout>
#include <QLocale>
#include <QPageSize>
#include <QPrinter>
#include <QStringList>
#include <algorithm>
#include <cmath>

clsPrintDlg::clsPrintDlg(Dialogs& dialogs)
    : dialogs_(dialogs), printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    flags_.setNoPageNums(true);
    flags_.setNoSelection(true);
    flags_.setReturnDC(true);
    flags_.setHidePrintToFile(true);
}

clsPrintDlg::~clsPrintDlg() {
    if (docOpen_) KillDoc();
}

bool clsPrintDlg::ShowPrint() {
    if (!dialogs_.choosePrinter(owner_, *printer_, flags_.Value())) return false;
    hasDevice_ = true;
    return true;
}

void clsPrintDlg::UsePdfFile(const QString& path) {
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setOutputFileName(path);
    // Without any printer there is no default paper: the locale's.
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    printer_->setPageSize(QPageSize(letter ? QPageSize::Letter : QPageSize::A4));
    hasDevice_ = true;
}

bool clsPrintDlg::StartDoc() {
    if (!hasDevice_ || docOpen_) return false;
    if (!documentName_.isEmpty()) printer_->setDocName(documentName_);
    if (!outputFile_.isEmpty()) printer_->setOutputFileName(outputFile_);
    if (!painter_.begin(printer_.get())) return false;
    docOpen_ = true;
    pageEnded_ = false;
    fontSelected_ = false;
    replacedFont_ = painter_.font();
    font_ = replacedFont_;
    return true;
}

bool clsPrintDlg::EndDoc() {
    if (!docOpen_) return false;
    painter_.setFont(replacedFont_);
    fontSelected_ = false;
    docOpen_ = false;
    return painter_.end();
}

bool clsPrintDlg::KillDoc() {
    if (!docOpen_) return false;
    painter_.setFont(replacedFont_);
    fontSelected_ = false;
    docOpen_ = false;
    const bool aborted = printer_->abort();
    painter_.end();
    return aborted;
}

bool clsPrintDlg::StartPage() {
    if (!docOpen_) return false;
    // The painter opened the first page with the document.
    if (!pageEnded_) return true;
    pageEnded_ = false;
    return printer_->newPage();
}

bool clsPrintDlg::EndPage() {
    if (!docOpen_ || pageEnded_) return false;
    pageEnded_ = true;
    return true;
}

bool clsPrintDlg::SetFontTo(const QString& faceName, double points, int weight, bool italic, bool underline,
                            bool strikeOut) {
    if (!docOpen_) return false;
    QFont f(faceName);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(points * printer_->logicalDpiY() / 72.0))));
    f.setWeight(weight <= 0 ? QFont::Normal : static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
    f.setItalic(italic);
    f.setUnderline(underline);
    f.setStrikeOut(strikeOut);
    f.setStyleHint(QFont::TypeWriter);
    painter_.setFont(f);
    font_ = f;
    fontSelected_ = true;
    return true;
}

int clsPrintDlg::DeviceCaps(int index) const {
    if (!hasDevice_) return 0;
    const QPrinter& p = *printer_;
    const QRectF paper = p.paperRect(QPrinter::DevicePixel);
    const QRectF page = p.pageRect(QPrinter::DevicePixel);
    switch (index) {
        case HORZSIZE: return p.widthMM();
        case VERTSIZE: return p.heightMM();
        case HORZRES: return p.width();
        case VERTRES: return p.height();
        case LOGPIXELSX: return p.logicalDpiX();
        case LOGPIXELSY: return p.logicalDpiY();
        case PHYSICALWIDTH: return static_cast<int>(paper.width());
        case PHYSICALHEIGHT: return static_cast<int>(paper.height());
        case PHYSICALOFFSETX: return static_cast<int>(page.left() - paper.left());
        case PHYSICALOFFSETY: return static_cast<int>(page.top() - paper.top());
        default: return 0;
    }
}

QFontMetrics clsPrintDlg::metrics() const {
    if (docOpen_) return painter_.fontMetrics();
    return QFontMetrics(font_, printer_.get());
}

QSize clsPrintDlg::TextWidthHeight(const QString& text) const {
    const QFontMetrics fm = metrics();
    return QSize(fm.horizontalAdvance(text), fm.height());
}

QSize clsPrintDlg::PrintText(const QString& text, int x, int y) {
    if (!docOpen_) return QSize(0, 0);
    const QFontMetrics fm = painter_.fontMetrics();
    if (text.isEmpty()) return QSize(0, fm.height());
    int width = 0;
    int height = 0;
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        // drawText places the baseline; the caller gives the top.
        painter_.drawText(x, y + height + fm.ascent(), line);
        width = std::max(width, fm.horizontalAdvance(line));
        height += fm.height();
    }
    return QSize(width, height);
}

bool clsPrintDlg::SetMapMode(int mode) {
    if (!docOpen_) return false;
    double unitsPerInch = 0;
    switch (mode) {
        case MM_TEXT: painter_.resetTransform(); return true;
        case MM_LOMETRIC: unitsPerInch = 254; break;
        case MM_HIMETRIC: unitsPerInch = 2540; break;
        case MM_LOENGLISH: unitsPerInch = 100; break;
        case MM_HIENGLISH: unitsPerInch = 1000; break;
        case MM_TWIPS: unitsPerInch = 1440; break;
        default: return false;
    }
    painter_.resetTransform();
    painter_.scale(printer_->logicalDpiX() / unitsPerInch, printer_->logicalDpiY() / unitsPerInch);
    return true;
}

int clsPrintDlg::FromPage() const { return printer_->fromPage(); }
int clsPrintDlg::ToPage() const { return printer_->toPage(); }
void clsPrintDlg::setFromToPage(int from, int to) { printer_->setFromTo(from, to); }
int clsPrintDlg::Copies() const { return printer_->copyCount(); }
void clsPrintDlg::setCopies(int n) { printer_->setCopyCount(n); }

int clsPrintDlg::Orientation() const {
    return printer_->pageLayout().orientation() == QPageLayout::Landscape ? DMORIENT_LANDSCAPE
                                                                          : DMORIENT_PORTRAIT;
}

void clsPrintDlg::setOrientation(int orientation) {
    printer_->setPageOrientation(orientation == DMORIENT_LANDSCAPE ? QPageLayout::Landscape
                                                                   : QPageLayout::Portrait);
}

QString clsPrintDlg::PrinterName() const {
    if (!hasDevice_) return QStringLiteral("Unknown");
    const QString name = printer_->printerName();
    const QString port = printer_->outputFileName();
    if (name.isEmpty()) return port.isEmpty() ? QStringLiteral("Unknown") : QStringLiteral("PDF on ") + port;
    return name + QStringLiteral(" on ") + (port.isEmpty() ? QStringLiteral("CUPS") : port);
}
