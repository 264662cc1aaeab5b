#include "basRingpostCfg.h"

#include "platform/FileSystem.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <fstream>

namespace {

double twipsPerPixel(bool horizontal) {
    const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    const double dpi = screen ? (horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY()) : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

}  // namespace

double twipsPerPixelX() { return twipsPerPixel(true); }
double twipsPerPixelY() { return twipsPerPixel(false); }
double pixelsToTwipsX(double pixels) { return pixels * twipsPerPixelX(); }
double pixelsToTwipsY(double pixels) { return pixels * twipsPerPixelY(); }
int twipsToPixelsY(double twips) { return static_cast<int>(std::lround(twips / twipsPerPixelY())); }

bool FileExists(const std::string& path) {
    // A directory opens for reading here, but is no file.
    if (!platform::fileExists(path)) return false;
    std::ifstream f(path, std::ios::binary);
    return f.is_open();
}

platform::Process StartProgram(const std::vector<std::string>& argv, int /*windowStyle*/) {
    platform::Process p;
    p.start(argv);
    return p;
}

std::string withSlash(const std::string& dir) {
    if (!dir.empty() && dir.back() == '/') return dir;
    return dir + "/";
}

QColor gradientColour(int row, int outerHeight) {
    const int half = static_cast<int>(std::lround(outerHeight / 2.0));
    if (half <= 0 || row > 2 * half) return QColor(255, 255, 255);
    if (row < 0) return QColor(0, 0, 0);
    const double k = 255.0 / half;
    if (row <= half) return QColor(0, static_cast<int>(std::lround(row * k)), 0);
    const int c = static_cast<int>(std::lround((row - half) * k));
    return QColor(c, 255, c);
}

void paintGradient(QWidget* widget, QPainter& painter, const QRect& area) {
    QWidget* window = widget->window();
    const int outer = window->frameGeometry().height();
    const int offset = widget->mapTo(window, QPoint(0, 0)).y();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        painter.setPen(gradientColour(y + offset, outer));
        painter.drawLine(0, y, widget->width() - 1, y);
    }
}

void fitTextColours(QWidget* window) {
    const int outer = window->frameGeometry().height();
    const auto fit = [&](QWidget* w) {
        if (w->property("keepColours").toBool()) return;
        const int row = w->mapTo(window, QPoint(0, w->height() / 2)).y();
        const QColor bg = gradientColour(row, outer);
        QPalette pal = w->palette();
        pal.setColor(QPalette::WindowText, bg.lightness() < 110 ? Qt::white : Qt::black);
        w->setPalette(pal);
    };
    for (QLabel* l : window->findChildren<QLabel*>()) fit(l);
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (b->inherits("QRadioButton") || b->inherits("QCheckBox")) fit(b);
    }
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void WaitCursor::restore() {
    if (active_) QApplication::restoreOverrideCursor();
    active_ = false;
}
