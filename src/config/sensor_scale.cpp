#include "config/sensor_scale.h"

#include "config/number_text.h"
#include "config/tables.h"

#include <cmath>

namespace tw::config {

namespace {

// Figures beyond this are no calibration of a seismometer but a typing
// slip; they would also not fit the labels.
constexpr double largest_figure = 1e12;

bool showable(double value) { return std::isfinite(value) && std::fabs(value) < largest_figure; }

std::string nine_decimals(double value) { return fixed_number_text(value, 2, 9); }

// "00.400,000,000": the nine decimals in three groups of three.
std::string grouped_nine_decimals(double value) {
    std::string text = nine_decimals(value);
    const std::size_t point = text.find('.');
    text.insert(point + 7, ",");
    text.insert(point + 4, ",");
    return text;
}

}  // namespace

SensorScale compute_sensor_scale(const ChannelSettings& channel) {
    SensorScale scale;
    const double counts = std::pow(2.0, channel.ad_bits);
    const bool counts_ok = showable(counts) && counts > 0;
    const char* const bits_problem = "A/D bits out of range";
    const char* const range_problem = "A/D range is 0";
    const char* const out_of_range = "Out of range";

    // Counts per volt.
    if (channel.ad_range == 0) {
        scale.lbl_ad_sens = range_problem;
    } else if (!counts_ok) {
        scale.lbl_ad_sens = bits_problem;
    } else {
        const double per_volt = counts / channel.ad_range;
        scale.lbl_ad_sens = showable(per_volt) ? plain_number(per_volt) : out_of_range;
    }

    // Each later figure shows why it is missing when an earlier one is.
    std::string why;
    if (channel.sensor_sensitivity == 0) {
        why = "Sensitivity is 0";
    } else if (channel.amplifier_gain == 0) {
        why = "Amplif. gain is 0";
    }

    // Physical units per volt at the converter.
    double output = 0;
    if (why.empty()) {
        const double value = 1 / (channel.sensor_sensitivity * channel.amplifier_gain);
        if (showable(value)) {
            scale.lbl_data_output = nine_decimals(value);
            output = number_scan(scale.lbl_data_output);
        } else {
            why = out_of_range;
        }
    }
    if (!why.empty()) scale.lbl_data_output = why;

    // The physical value of the converter's full range.
    if (why.empty() && channel.ad_range == 0) why = range_problem;
    double full_range = 0;
    if (why.empty()) {
        const double value = output * channel.ad_range;
        if (showable(value)) {
            scale.lbl_full_range = grouped_nine_decimals(value);
            full_range = number_scan(nine_decimals(value));
        } else {
            why = out_of_range;
        }
    }
    if (!why.empty()) scale.lbl_full_range = why;

    // Physical units per count.
    if (why.empty() && !counts_ok) why = bits_problem;
    if (why.empty()) {
        scale.lbl_resolution = nine_decimals(full_range / counts);
        scale.data_output_factor = number_scan(scale.lbl_resolution);
    } else {
        scale.lbl_resolution = why;
    }
    return scale;
}

UnitLabels unit_labels(int sensor_type, int measure_unit) {
    const std::string u = measure_unit >= 0 && measure_unit < static_cast<int>(unit_names.size())
                              ? std::string(unit_names[static_cast<std::size_t>(measure_unit)])
                              : std::string("?");
    switch (sensor_type) {
        case 1:  // velocity
            return {"V/ " + u + "/s", u + "/s / V", u + "/s", u + "/s"};
        case 2:  // displacement
            return {"V/ " + u, u + "/V", u, u};
        case 3:  // acceleration
            return {"V/ " + u + "/ss", u + "/ss / V", u + "/ss", u + "/ss"};
        default:
            return {"counts", "counts", "V", "V"};
    }
}

}  // namespace tw::config
