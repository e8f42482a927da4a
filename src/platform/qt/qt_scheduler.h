#pragma once

#include "platform/scheduler.h"

#include <QObject>

namespace tw::platform {

// Single-shot Qt timers. Tasks still pending when the scheduler goes away
// are dropped.
class QtScheduler : public Scheduler {
public:
    void run_after(int delay_ms, std::function<void()> task) override;

private:
    QObject context_;
};

}  // namespace tw::platform
