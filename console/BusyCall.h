// A blocking call (a connection test, say) run on a thread of its own while a
// small modal box with a busy indicator and a Cancel button stands over the
// window: the window keeps drawing and the user can give up at any time.
#pragma once

#include <QString>
#include <cstddef>
#include <functional>

class QWidget;

// True when `call` ran to its end, false when the user cancelled (Cancel,
// Escape or the close box). A cancelled call is told so through `cancel`
// (from this thread), which must make it end at once; it ends on in the
// background and must own everything it touches (capture by value or
// through shared ownership). When the program ends, calls still running are
// cancelled the same way and then waited for.
bool runWhileBusy(QWidget* owner, const QString& title, const QString& text, std::function<void()> call,
                  std::function<void()> cancel = {});

// Calls given up on that have not ended yet.
std::size_t callsStillRunning();
