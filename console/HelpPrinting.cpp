#include "HelpPrinting.h"

#include "clsPrintDlg.h"

namespace {

QString trimSpaces(const QString& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s[b] == QLatin1Char(' ')) ++b;
    while (e > b && s[e - 1] == QLatin1Char(' ')) --e;
    return s.mid(b, e - b);
}

// Splits the next printed line off `rest`.
QString takeLine(clsPrintDlg& dlg, QString& rest, int pageWidth) {
    for (qsizetype n = 1;; ++n) {
        const bool endsWithCr = rest[n - 1] == QLatin1Char('\r');
        const int width = dlg.TextWidthHeight(rest.left(endsWithCr ? n - 1 : n)).width();
        if (width > pageWidth) {
            const qsizetype fits = n - 1;
            // A character wider than the page still goes out alone, or the
            // text would never shrink.
            if (fits < 1) {
                QString line = rest.left(1);
                rest.remove(0, 1);
                return line;
            }
            const qsizetype space = rest.left(fits).lastIndexOf(QLatin1Char(' '));
            if (space > 0) {
                QString line = rest.left(space + 1);
                rest.remove(0, space);
                return line;
            }
            QString line = rest.left(fits);
            rest.remove(0, fits);
            return line;
        }
        if (endsWithCr || n == rest.size()) {
            QString line = rest.left(endsWithCr ? n - 1 : n);
            rest.remove(0, n);
            return line;
        }
    }
}

}  // namespace

bool printHelpText(clsPrintDlg& dlg, const QString& text, const QString& documentName) {
    QString rest = text;
    rest.remove(QLatin1Char('\n'));

    dlg.setDocumentName(documentName);
    if (!dlg.StartDoc()) return false;
    dlg.SetFontTo(QStringLiteral("Courier"), 14, 0, false, false, false);
    dlg.StartPage();
    const int pageWidth = dlg.DeviceCaps(HORZRES);
    const int pageHeight = dlg.DeviceCaps(VERTRES);
    int y = 0;
    while (!rest.isEmpty()) {
        const QString line = trimSpaces(takeLine(dlg, rest, pageWidth));
        rest = trimSpaces(rest);
        const int height = dlg.TextWidthHeight(line.isEmpty() ? QStringLiteral(" ") : line).height();
        // A line that would cross the bottom edge goes to the next page.
        if (y > 0 && y + height > pageHeight) {
            dlg.EndPage();
            dlg.StartPage();
            y = 0;
        }
        y += dlg.PrintText(line, 0, y).height();
    }
    dlg.EndPage();
    return dlg.EndDoc();
}
