#pragma once
// What the station's metadata says, from the settings: where the station
// stands, and per acquiring channel its codes, orientation, rate and
// response (the sensor's sensitivity, and its pendulum when its natural
// period and damping are set).

#include "config/settings.h"
#include "stream/channel_codes.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::web {

// The sensor settings of the [SENSOR] section: natural period in seconds
// and damping (fraction of critical) of the sensor of each channel; 0: not
// given.
struct SensorSettings {
    std::array<double, 4> natural_period{};
    std::array<double, 4> damping{};
    bool operator==(const SensorSettings&) const = default;
};

// "14.39N 12.33E" (also "14.39 12.33", "-14.39,12.33", "14.39S 12.33W"):
// latitude and longitude in degrees; none when the text cannot be read or
// is out of range.
struct Coordinates {
    double latitude = 0;
    double longitude = 0;
};
std::optional<Coordinates> read_coordinates(std::string_view text);
// "350", "350 m", "350m", "-12.5": metres; none for any other text.
std::optional<double> read_elevation(std::string_view text);

struct Pole {
    double real = 0;
    double imaginary = 0;
};

struct ChannelResponse {
    std::string input_unit;  // "m/s", "m" or "m/s**2"
    // Counts per input unit at `frequency` hertz.
    double sensitivity = 0;
    double frequency = 1;
    // The sensor's volts per input unit, 0 when unknown: the response is
    // then one stage from input unit to counts.
    double sensor_gain = 0;
    // The pendulum of the natural period and damping, when given: poles
    // and zeros in radians per second, and the factor that makes its
    // gain 1 at `frequency`.
    bool has_poles_zeros = false;
    int zeros = 0;
    std::vector<Pole> poles;
    double normalization = 1;
};

struct ChannelEntry {
    int board_channel = 1;  // 1..4
    std::string code;       // "HHZ"
    double rate = 0;        // samples per second
    // From the axis: Z dip -90, N azimuth 0, E azimuth 90; none for others.
    std::optional<double> azimuth;
    std::optional<double> dip;
    // None when the sensor settings give no sensitivity.
    std::optional<ChannelResponse> response;
};

struct Inventory {
    stream::StreamCodes codes;
    std::optional<Coordinates> coordinates;
    double elevation = 0;
    std::string site;  // the station's location text, else its code
    // Start of the metadata's epoch (microseconds since 1970): the first
    // day of the archive, else the day the program started. Clients of the
    // field need one.
    std::int64_t start_us = 0;
    std::vector<ChannelEntry> channels;
    // Settings that could not be read, one message each.
    std::vector<std::string> problems;
};

// `run_codes`, when given, are the channel codes the running acquisition
// archives under (an empty one: worked out from the settings).
Inventory build_inventory(const config::Settings& settings, const SensorSettings& sensors,
                          const stream::StreamCodes& codes,
                          const std::array<std::string, 4>* run_codes = nullptr);

}  // namespace tw::web
