#pragma once
// The PC clock.

#include <cstdint>
#include <string>

namespace tw::platform {

struct DateTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;

    // Local date and time of the PC.
    virtual DateTime now() const = 0;
    // Seconds since local midnight, with milliseconds.
    virtual double seconds_since_midnight() const = 0;
    // A clock that never jumps, in milliseconds from an arbitrary origin:
    // for measuring silences and waits.
    virtual std::int64_t monotonic_ms() const = 0;

    // Set the local time of day or date. False (with the reason in `error`)
    // when the system refuses, or when setting is switched off for this run.
    virtual bool set_time_of_day(int hour, int minute, int second, std::string* error) = 0;
    virtual bool set_date(int year, int month, int day, std::string* error) = 0;
    // True while the kernel reports the clock synchronised by a time service.
    virtual bool system_clock_synchronised() const = 0;

    // The date and time as the user's locale writes them in short form.
    virtual std::string short_date_text(const DateTime& when) const = 0;
    virtual std::string short_time_text(const DateTime& when) const = 0;
};

// A clock for work that runs outside real time (a replay of recorded days):
// it stands still at 2000/01/01 00:00 and never sets anything.
class StoppedClock : public Clock {
public:
    DateTime now() const override { return {}; }
    double seconds_since_midnight() const override { return 0; }
    std::int64_t monotonic_ms() const override { return 0; }
    bool set_time_of_day(int, int, int, std::string*) override { return false; }
    bool set_date(int, int, int, std::string*) override { return false; }
    bool system_clock_synchronised() const override { return false; }
    std::string short_date_text(const DateTime&) const override { return {}; }
    std::string short_time_text(const DateTime&) const override { return {}; }
};

}  // namespace tw::platform
