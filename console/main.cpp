// RingpostCfg: the configuration console.
#include "Dialogs.h"
#include "frmMain.h"
#include "platform/HomeDirectory.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RingpostCfg"));
    QtDialogs dialogs;
    frmMain window(dialogs, platform::homeDirectory());
    window.load();
    window.show();
    return app.exec();
}
