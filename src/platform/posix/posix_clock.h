#pragma once
// The system clock. Setting it uses clock_settime and needs the right to set
// the time; it never changes while TERRAWAVE_NO_CLOCK_SET is set.

#include "platform/clock.h"

namespace tw::platform {

class PosixClock : public Clock {
public:
    PosixClock();
    ~PosixClock() override;

    DateTime now() const override;
    double seconds_since_midnight() const override;
    std::int64_t monotonic_ms() const override;
    bool set_time_of_day(int hour, int minute, int second, std::string* error) override;
    bool set_date(int year, int month, int day, std::string* error) override;
    bool system_clock_synchronised() const override;
    std::string short_date_text(const DateTime& when) const override;
    std::string short_time_text(const DateTime& when) const override;

private:
    bool setting_allowed(std::string* error) const;
    bool set_local(const DateTime& when, std::string* error);
    void* time_locale_;  // locale_t of LC_TIME, for the short formats
};

}  // namespace tw::platform
