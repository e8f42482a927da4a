#pragma once
// Lets windows keep painting while the program waits inside a long exchange.

namespace tw::platform {

class EventPump {
public:
    virtual ~EventPump() = default;
    // Handle pending window and port events, waiting at most `max_wait_ms`
    // for one to arrive. Returns at once when the wait is 0.
    virtual void process_events(int max_wait_ms) = 0;
};

}  // namespace tw::platform
