// Small helpers shared by every window of the console: its title, unit
// conversion, file existence, starting programs and the background gradient.
#pragma once

#include "platform/Process.h"

#include <QColor>
#include <QString>
#include <string>
#include <vector>

class QPainter;
class QRect;
class QWidget;

inline const QString kAppTitle = QStringLiteral("Configure KOVA(tm) Ringpost");

// Twips are 1/1440 inch; at 96 dpi one pixel is 15 twips.
double twipsPerPixelX();
double twipsPerPixelY();
double pixelsToTwipsX(double pixels);
double pixelsToTwipsY(double pixels);
int twipsToPixelsY(double twips);

// True when the file opens for reading (it is closed again).
bool FileExists(const std::string& path);

// Window styles of StartProgram; a program started here never gets a window
// of ours, so they only document the caller's intent.
enum WindowStyle { kHide = 0, kNormal = 1, kMinimized = 2, kMaximized = 3, kNoActivate = 4, kMinNoActivate = 6 };

// Starts argv[0] with the given arguments, no shell, nothing inherited. The
// returned process is not started() when the program could not be run.
platform::Process StartProgram(const std::vector<std::string>& argv, int windowStyle);

// `dir` with a '/' appended unless it ends in one.
std::string withSlash(const std::string& dir);

// The window background: black at the top, pure green at half the window's
// outer height, white at the bottom. `row` counts pixels from the window's top.
QColor gradientColour(int row, int outerHeight);

// Paints `area` of `widget` with the gradient of its window, so a panel
// continues the gradient of the window around it.
void paintGradient(QWidget* widget, QPainter& painter, const QRect& area);

// Gives the labels, option buttons and check boxes of `window` a text colour
// that stays readable on the gradient behind them.
void fitTextColours(QWidget* window);

// The pointer shows the hourglass while a window waits; restore() ends it
// early, before a message box that should show the normal pointer.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor() { restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void restore();

private:
    bool active_ = true;
};
