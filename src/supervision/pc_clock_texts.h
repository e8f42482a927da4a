#pragma once
// The PC clock texts shown beside the board clock and by the time setting
// window: the date and time as the PC writes them, repaired into
// "YYYY/MM/DD HH:MM:SS" where the PC drops a leading zero or uses "." in the
// time (a 12-hour time becomes the 24-hour one), and the milliseconds ".000".

#include "platform/clock.h"

#include <string>

namespace tw::supervision {

struct PcClockTexts {
    std::string date_time;  // pc_date_time_text; empty until the first refresh
    std::string millis;     // pc_millis_text
};

void refresh_pc_clock_texts(const platform::Clock& clock, PcClockTexts& texts);

// The repair rules on their own: `date` and `time` as the PC writes them,
// `midnight` when the time is exactly 00:00:00 (the PC then writes the date
// alone).
std::string repaired_pc_date_time(const std::string& date, const std::string& time,
                                  bool midnight);

}  // namespace tw::supervision
