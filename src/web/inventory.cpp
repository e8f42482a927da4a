#include "web/inventory.h"

#include "acquisition/sample_path.h"
#include "config/tables.h"

#include <charconv>
#include <cmath>
#include <complex>
#include <numbers>

namespace tw::web {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// A number at the start of `text`, which is advanced past it.
std::optional<double> take_number(std::string_view& text) {
    text = trim(text);
    double value = 0;
    const char* begin = text.data();
    if (!text.empty() && text.front() == '+') ++begin;
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// A coordinate and its hemisphere letter (`positive` or `negative`, any
// case, optional).
std::optional<double> take_coordinate(std::string_view& text, char positive, char negative) {
    auto value = take_number(text);
    if (!value) return std::nullopt;
    text = trim(text);
    if (!text.empty()) {
        const char c = static_cast<char>(text.front() & ~0x20);
        if (c == positive || c == negative) {
            if (*value < 0) return std::nullopt;  // "-14N" says two things
            if (c == negative) *value = -*value;
            text.remove_prefix(1);
        }
    }
    text = trim(text);
    if (!text.empty() && text.front() == ',') text.remove_prefix(1);
    return value;
}

double unit_in_metres(int measure_unit) {
    static constexpr double metres[] = {0, 1, 1e-2, 1e-3, 1e-6, 1e-9};
    return measure_unit >= 1 && measure_unit <= 5 ? metres[measure_unit] : 0;
}

std::optional<ChannelResponse> response_of(const config::ChannelSettings& c, double period,
                                           double damping, double rate) {
    static constexpr const char* units[] = {"", "m/s", "m", "m/s**2"};
    const double unit = unit_in_metres(c.measure_unit);
    if (c.sensor_type < 1 || c.sensor_type > 3 || unit == 0) return std::nullopt;
    ChannelResponse r;
    r.input_unit = units[c.sensor_type];
    // Counts per physical unit: sensor volts per unit, amplifier, converter
    // counts per volt; else the resolution the trigger panel shows.
    const double counts_per_volt = std::pow(2.0, c.ad_bits) / c.ad_range;
    const double chain = c.sensor_sensitivity * c.amplifier_gain * counts_per_volt;
    if (std::isfinite(chain) && chain > 0) {
        r.sensitivity = chain / unit;
        r.sensor_gain = c.sensor_sensitivity / unit;
    } else if (c.data_output_factor > 0) {
        r.sensitivity = 1 / (c.data_output_factor * unit);
    } else {
        return std::nullopt;
    }
    if (period > 0 && damping > 0) {
        // A pendulum of natural angular frequency w0 and damping h: poles
        // of s^2 + 2 h w0 s + w0^2; ground velocity or displacement reach
        // the output through two zeros at 0, acceleration through none.
        const double w0 = 2 * std::numbers::pi / period;
        const double f0 = 1 / period;
        r.has_poles_zeros = true;
        r.zeros = c.sensor_type == 3 ? 0 : 2;
        if (damping < 1) {
            const double im = w0 * std::sqrt(1 - damping * damping);
            r.poles = {{-damping * w0, im}, {-damping * w0, -im}};
        } else {
            const double root = w0 * std::sqrt(damping * damping - 1);
            r.poles = {{-damping * w0 + root, 0}, {-damping * w0 - root, 0}};
        }
        // Where the response is flat: well above the corner for the
        // velocity and displacement sensors, well below it for the
        // accelerometer; below the Nyquist frequency.
        r.frequency = r.zeros == 2 ? std::max(1.0, 5 * f0) : std::min(1.0, f0 / 5);
        if (rate > 0) r.frequency = std::min(r.frequency, 0.4 * rate);
        const std::complex<double> s(0, 2 * std::numbers::pi * r.frequency);
        std::complex<double> h = std::pow(s, r.zeros);
        for (const auto& p : r.poles) h /= s - std::complex<double>(p.real, p.imaginary);
        r.normalization = 1 / std::abs(h);
    }
    return r;
}

}  // namespace

std::optional<Coordinates> read_coordinates(std::string_view text) {
    auto rest = trim(text);
    const auto latitude = take_coordinate(rest, 'N', 'S');
    if (!latitude) return std::nullopt;
    const auto longitude = take_coordinate(rest, 'E', 'W');
    if (!longitude || !trim(rest).empty()) return std::nullopt;
    if (std::fabs(*latitude) > 90 || std::fabs(*longitude) > 180) return std::nullopt;
    return Coordinates{*latitude, *longitude};
}

std::optional<double> read_elevation(std::string_view text) {
    auto rest = trim(text);
    const auto metres = take_number(rest);
    rest = trim(rest);
    if (!metres || !(rest.empty() || rest == "m" || rest == "M")) return std::nullopt;
    if (std::fabs(*metres) > 20000) return std::nullopt;
    return metres;
}

Inventory build_inventory(const config::Settings& settings, const SensorSettings& sensors,
                          const stream::StreamCodes& codes,
                          const std::array<std::string, 4>* run_codes) {
    Inventory inventory;
    inventory.codes = stream::normalize_codes(codes);
    const auto& general = settings.general;
    inventory.coordinates = read_coordinates(general.coordinates);
    if (!inventory.coordinates)
        inventory.problems.push_back("station coordinates '" + general.coordinates +
                                     "' cannot be read (like 14.39N 12.33E): the metadata "
                                     "gives none");
    if (const auto elevation = read_elevation(general.elevation)) {
        inventory.elevation = *elevation;
    } else if (!trim(general.elevation).empty()) {
        inventory.problems.push_back("station elevation '" + general.elevation +
                                     "' is not a number of metres: the metadata gives 0");
    }
    inventory.site = std::string(trim(general.location));
    if (inventory.site.empty()) inventory.site = inventory.codes.station;

    for (int k = 1; k <= 4; ++k) {
        const auto& c = settings.channel(k);
        ChannelEntry entry;
        entry.board_channel = k;
        entry.rate = acquisition::SamplePath::true_rate_of(c.sps_code);
        const auto i = static_cast<std::size_t>(k - 1);
        entry.code = run_codes && !(*run_codes)[i].empty()
                         ? (*run_codes)[i]
                         : stream::channel_code(entry.rate, c.axis_code, k);
        if (entry.code.empty()) continue;  // this channel does not acquire
        switch (c.axis_code) {
        case 1: entry.azimuth = 0; entry.dip = 0; break;
        case 2: entry.azimuth = 90; entry.dip = 0; break;
        case 3: entry.azimuth = 0; entry.dip = -90; break;
        default: break;
        }
        entry.response = response_of(c, sensors.natural_period[i], sensors.damping[i], entry.rate);
        inventory.channels.push_back(std::move(entry));
    }
    return inventory;
}

}  // namespace tw::web
