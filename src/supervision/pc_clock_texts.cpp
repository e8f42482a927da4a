#include "supervision/pc_clock_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tw::supervision {

std::string repaired_pc_date_time(const std::string& date, const std::string& time,
                                  bool midnight) {
    std::string text = midnight ? date : date + " " + time;
    if (text.size() == 18) text = text.substr(0, 10) + " 0" + text.substr(text.size() - 7);
    if (text.size() < 17) text += " 00:00:00";
    if (text.size() >= 14 && text[13] == '.') text[13] = ':';
    if (text.size() >= 17 && text[16] == '.') text[16] = ':';
    return text;
}

void refresh_pc_clock_texts(const platform::Clock& clock, PcClockTexts& texts) {
    const auto now = clock.now();
    const bool midnight = now.hour == 0 && now.minute == 0 && now.second == 0;
    std::string time = clock.short_time_text(now);
    // A 12-hour time ("07:05:09 PM") is shown as the clock's 24-hour time:
    // the milliseconds then follow the seconds, and the PC clock reads as
    // the board clock beside it.
    if (!time.empty() && (time.back() < '0' || time.back() > '9')) {
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.hour, now.minute, now.second);
        time = text;
    }
    texts.date_time = repaired_pc_date_time(clock.short_date_text(now), time, midnight);
    const double seconds = clock.seconds_since_midnight();
    int millis = static_cast<int>(std::floor((seconds - std::floor(seconds)) * 1000.0 + 0.5));
    millis = std::clamp(millis, 0, 999);
    char text[16];
    std::snprintf(text, sizeof text, ".%03d", millis);
    texts.millis = text;
}

}  // namespace tw::supervision
