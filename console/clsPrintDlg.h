// The print dialog and the printer it returns: a document is started, pages
// are started and ended, a font is selected and text is drawn at device
// positions, as with a printer device context.
#pragma once

#include "clsPrintDlgFlags.h"

#include <QFont>
#include <QPainter>
#include <QSize>
#include <QString>
#include <memory>

class Dialogs;
class QPrinter;
class QWidget;

// Device capability indexes.
inline constexpr int HORZSIZE = 4;     // millimetres
inline constexpr int VERTSIZE = 6;
inline constexpr int HORZRES = 8;      // device pixels
inline constexpr int VERTRES = 10;
inline constexpr int LOGPIXELSX = 88;  // pixels per inch
inline constexpr int LOGPIXELSY = 90;
inline constexpr int PHYSICALWIDTH = 110;
inline constexpr int PHYSICALHEIGHT = 111;
inline constexpr int PHYSICALOFFSETX = 112;
inline constexpr int PHYSICALOFFSETY = 113;

// Mapping modes: device pixels, or logical units of the given size (y still
// grows downwards).
inline constexpr int MM_TEXT = 1;
inline constexpr int MM_LOMETRIC = 2;
inline constexpr int MM_HIMETRIC = 3;
inline constexpr int MM_LOENGLISH = 4;
inline constexpr int MM_HIENGLISH = 5;
inline constexpr int MM_TWIPS = 6;

// Printer orientations.
inline constexpr int DMORIENT_PORTRAIT = 1;
inline constexpr int DMORIENT_LANDSCAPE = 2;

class clsPrintDlg {
public:
    explicit clsPrintDlg(Dialogs& dialogs);
    // An open document is aborted.
    ~clsPrintDlg();
    clsPrintDlg(const clsPrintDlg&) = delete;
    clsPrintDlg& operator=(const clsPrintDlg&) = delete;

    clsPrintDlgFlags& Flags() { return flags_; }

    // Shows the print dialog; true when the user confirmed. The printer is
    // then this object's device.
    bool ShowPrint();
    // Prints into a PDF file instead of a printer chosen in the dialog.
    void UsePdfFile(const QString& path);

    bool StartDoc();
    bool EndDoc();
    bool KillDoc();
    bool StartPage();
    bool EndPage();

    // Only while a document is open. `points` is the character height.
    bool SetFontTo(const QString& faceName, double points, int weight, bool italic, bool underline,
                   bool strikeOut);
    int DeviceCaps(int index) const;
    QSize TextWidthHeight(const QString& text) const;
    // Draws at (x, y) = top left; CR LF pairs start new lines. Returns the
    // widest line's width and the total height (an empty text: 0 and the
    // height of a space).
    QSize PrintText(const QString& text, int x, int y);
    bool SetMapMode(int mode);

    QWidget* hWndOwner() const { return owner_; }
    void setHWndOwner(QWidget* w) { owner_ = w; }
    // The printer chosen in the dialog; null before ShowPrint confirmed.
    QPrinter* hDC() const { return hasDevice_ ? printer_.get() : nullptr; }
    // The printer the dialog works on (to preset it before ShowPrint).
    QPrinter& printer() { return *printer_; }

    int FromPage() const;
    int ToPage() const;
    void setFromToPage(int from, int to);
    int MinPage() const { return minPage_; }
    int MaxPage() const { return maxPage_; }
    void setMinPage(int v) { minPage_ = v; }
    void setMaxPage(int v) { maxPage_ = v; }
    int Copies() const;
    void setCopies(int n);

    QString DocumentName() const { return documentName_; }
    void setDocumentName(const QString& s) { documentName_ = s; }
    QString OutputFile() const { return outputFile_; }
    void setOutputFile(const QString& s) { outputFile_ = s; }
    QString DataType() const { return dataType_; }
    void setDataType(const QString& s) { dataType_ = s; }

    int Orientation() const;
    void setOrientation(int orientation);
    QString PrinterName() const;

private:
    QFontMetrics metrics() const;

    Dialogs& dialogs_;
    std::unique_ptr<QPrinter> printer_;
    QPainter painter_;
    clsPrintDlgFlags flags_;
    QWidget* owner_ = nullptr;
    bool hasDevice_ = false;
    bool docOpen_ = false;
    bool pageEnded_ = false;
    bool fontSelected_ = false;
    QFont font_;
    QFont replacedFont_;
    int minPage_ = 0;
    int maxPage_ = 0;
    QString documentName_;
    QString outputFile_;
    QString dataType_;
};
