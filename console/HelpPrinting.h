// Prints a help text on the printer chosen in a print dialog: Courier 14,
// lines wrapped at the last space that fits, a word wider than the page cut.
#pragma once

#include <QString>

class clsPrintDlg;

// `dlg` must hold a printer (ShowPrint confirmed). Starts and ends the
// document; false when it could not be started or finished.
bool printHelpText(clsPrintDlg& dlg, const QString& text, const QString& documentName);
