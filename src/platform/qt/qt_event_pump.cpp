#include "platform/qt/qt_event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace tw::platform {

void QtEventPump::process_events(int max_wait_ms) {
    if (max_wait_ms <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // Wait in the event loop (no spinning) until the time is up; any event
    // that arrives meanwhile is handled.
    QEventLoop loop;
    QTimer::singleShot(max_wait_ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace tw::platform
