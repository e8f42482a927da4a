#pragma once
// Work for later on the program's own thread: the end of a short pulse, a
// button press that must wait until the current handler has returned.

#include <functional>

namespace tw::platform {

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs `task` once, about `delay_ms` from now (0: as soon as the current
    // event has been handled), from the event loop. Returns at once.
    virtual void run_after(int delay_ms, std::function<void()> task) = 0;
};

}  // namespace tw::platform
