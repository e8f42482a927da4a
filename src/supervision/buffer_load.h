#pragma once
// The load of the serial receive buffer, looked at once a second: the load
// bar of the main window, the pause of the live charts while the program
// falls behind, and the discard of a buffer about to overflow.
//
// Above 65% of the buffer the charts pause (no_charts 1) and the bar turns
// light red; above 95% the waiting bytes are discarded as well. The charts
// resume once the fill is back below 25%, unless the user has switched them
// off. Below 65% the bar is green while the fill does not grow, yellow when
// it grew since the last look.

#include "supervision/panel_model.h"

#include <string_view>
#include <vector>

namespace tw::supervision {

inline constexpr std::string_view buffer_warning_text = "Serial buffer at 65%. Chart draw disabled";
inline constexpr std::string_view buffer_overload_text = "Serial buffer overload. Buffer flushed.";

class BufferLoad {
public:
    struct Outcome {
        bool discard = false;                 // flush the waiting bytes now
        bool repaint = false;                 // the charts just paused
        std::vector<std::string_view> messages;  // for the event list, in order
    };

    // One look: `waiting` bytes of a buffer of `size`. Writes no_charts and
    // the panel's bar.
    Outcome update(int waiting, int size, int& no_charts, PanelModel& panel);

    // The user ticked or cleared "Charts off": that choice stands, a pause
    // for load no longer ends by itself.
    void user_chose_charts() { paused_for_load_ = false; }

private:
    int previous_fill_ = 0;
    bool warning_given_ = false;
    bool paused_for_load_ = false;  // no_charts was set here, not by the user
};

}  // namespace tw::supervision
