#pragma once
// Event flags shared by the event logic, the housekeeping tick and the event
// list window.

#include <array>

namespace tw::events {

struct EventFlags {
    std::array<bool, 4> event_active{};  // a channel is recording an event
    bool threshold_alarm_flag = false;   // an alarm threshold was exceeded
    bool event_ended_flag = false;       // an event ended; the indicator blinks
};

}  // namespace tw::events
