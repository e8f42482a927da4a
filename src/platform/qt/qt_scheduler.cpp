#include "platform/qt/qt_scheduler.h"

#include <QTimer>

#include <algorithm>

namespace tw::platform {

void QtScheduler::run_after(int delay_ms, std::function<void()> task) {
    QTimer::singleShot(std::max(delay_ms, 0), Qt::PreciseTimer, &context_, std::move(task));
}

}  // namespace tw::platform
