#include "platform/posix/posix_clock.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <locale.h>
#include <sys/time.h>
#include <sys/timex.h>

namespace tw::platform {

namespace {
DateTime from_tm(const std::tm& t, int millisecond) {
    return DateTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                    t.tm_min,         t.tm_sec,     millisecond};
}
std::tm to_tm(const DateTime& d) {
    std::tm t{};
    t.tm_year = d.year - 1900;
    t.tm_mon = d.month - 1;
    t.tm_mday = d.day;
    t.tm_hour = d.hour;
    t.tm_min = d.minute;
    t.tm_sec = d.second;
    t.tm_isdst = -1;
    return t;
}
}  // namespace

PosixClock::PosixClock() {
    // Only the time formats follow the user's locale; numbers never do.
    locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (!loc) loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    time_locale_ = loc;
}

PosixClock::~PosixClock() {
    if (time_locale_) freelocale(static_cast<locale_t>(time_locale_));
}

DateTime PosixClock::now() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm t{};
    localtime_r(&ts.tv_sec, &t);
    return from_tm(t, static_cast<int>(ts.tv_nsec / 1000000));
}

double PosixClock::seconds_since_midnight() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm t{};
    localtime_r(&ts.tv_sec, &t);
    return t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec + ts.tv_nsec / 1e9;
}

std::int64_t PosixClock::monotonic_ms() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool PosixClock::setting_allowed(std::string* error) const {
    if (std::getenv("TERRAWAVE_NO_CLOCK_SET")) {
        if (error) *error = "setting the clock is switched off (TERRAWAVE_NO_CLOCK_SET)";
        return false;
    }
    return true;
}

bool PosixClock::set_local(const DateTime& when, std::string* error) {
    std::tm t = to_tm(when);
    const time_t seconds = mktime(&t);
    if (seconds == static_cast<time_t>(-1)) {
        if (error) *error = "invalid date or time";
        return false;
    }
    timespec ts{seconds, static_cast<long>(when.millisecond) * 1000000L};
    if (clock_settime(CLOCK_REALTIME, &ts) != 0) {
        if (error) *error = std::string("cannot set the system clock: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool PosixClock::set_time_of_day(int hour, int minute, int second, std::string* error) {
    if (!setting_allowed(error)) return false;
    DateTime when = now();
    when.hour = hour;
    when.minute = minute;
    when.second = second;
    when.millisecond = 0;
    return set_local(when, error);
}

bool PosixClock::set_date(int year, int month, int day, std::string* error) {
    if (!setting_allowed(error)) return false;
    DateTime when = now();
    when.year = year;
    when.month = month;
    when.day = day;
    return set_local(when, error);
}

bool PosixClock::system_clock_synchronised() const {
    timex tx{};
    const int state = adjtimex(&tx);
    return state != TIME_ERROR && state != -1 && (tx.status & STA_UNSYNC) == 0;
}

std::string PosixClock::short_date_text(const DateTime& when) const {
    std::tm t = to_tm(when);
    char text[64];
    const size_t n = strftime_l(text, sizeof text, "%x", &t, static_cast<locale_t>(time_locale_));
    return std::string(text, n);
}

std::string PosixClock::short_time_text(const DateTime& when) const {
    std::tm t = to_tm(when);
    char text[64];
    const size_t n = strftime_l(text, sizeof text, "%X", &t, static_cast<locale_t>(time_locale_));
    return std::string(text, n);
}

}  // namespace tw::platform
