#pragma once

#include "platform/event_pump.h"

namespace tw::platform {

// Runs the Qt event loop for a while, so windows keep painting and the serial
// port keeps reading during a wait.
class QtEventPump : public EventPump {
public:
    void process_events(int max_wait_ms) override;
};

}  // namespace tw::platform
