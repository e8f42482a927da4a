#pragma once
// What the main window shows that the logic changes. The logic writes these
// fields and calls notify(); the window renders them.

#include <array>
#include <functional>
#include <string>

namespace tw::supervision {

struct PanelModel {
    std::string title = "TERRAWAVE V.02.22";
    std::string badrx = "0";    // bad packets counted
    std::string true_sps;       // measured rate of the selected channel
    std::array<std::string, 4> ch_val;           // numeric monitors
    std::array<unsigned, 4> ch_val_color{};      // RGB; 0 means the normal colour
    std::array<std::string, 4> man_record = {"REC", "REC", "REC", "REC"};
    std::string lbl_service;    // status line, shown while it has text
    bool lbl_service_visible = false;
    std::string donothing;      // idle passes, service mode
    std::string feed_status;    // the DataLink feed; empty without one
    std::string utc_clock;      // board clock
    std::string realtime;       // PC clock with milliseconds
    bool start_enabled = true;
    bool stop_enabled = false;
    bool exit_enabled = true;
    bool logging_enabled = true;
    bool sps_select_enabled = true;
    int event_indicator_color = 8;  // palette colour
    int buffer_fill = 0;            // bytes waiting in the serial buffer
    int buffer_size = 16384;
    int buffer_color = 2;           // palette colour of the filled part

    std::function<void()> changed;
    void notify() const {
        if (changed) changed();
    }
};

}  // namespace tw::supervision
