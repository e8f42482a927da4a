#pragma once
// The sensor and A/D calibration of a channel: from the sensor's output
// (volts per physical unit), the amplifier gain and the converter's bits
// and range to the physical value of one count, and the unit texts shown
// beside the figures.

#include "config/settings.h"

#include <string>

namespace tw::config {

// The four calibration figures as the trigger panel shows them, and the
// factor that event files use (physical units per count).
struct SensorScale {
    std::string lbl_ad_sens;      // counts per volt, plain number
    std::string lbl_data_output;  // units per volt, "00.000000000"
    std::string lbl_full_range;   // units at full range, "00.000,000,000"
    std::string lbl_resolution;   // units per count, "00.000000000"
    // The resolution as shown (nine decimals at most); 0 when a figure
    // cannot be computed.
    double data_output_factor = 0;
};

// Each figure is computed from the previous one as shown, so the factor
// carries at most nine decimals. A sensitivity, gain or range of 0 (or a
// figure out of any sensible range) shows why in the figures that depend
// on it ("Sensitivity is 0") and gives the factor 0.
SensorScale compute_sensor_scale(const ChannelSettings& channel);

// The unit texts beside the figures, from sensor_type and the unit name
// u of measure_unit: "counts"/"V" for an unknown sensor, "V/ u/s",
// "u/s / V", "u/s", "u/s" for velocity, without "/s" for displacement and
// with "/ss" for acceleration.
struct UnitLabels {
    std::string lbl_sensor;
    std::string lbl_data_type;
    std::string lbl_resolution_type;
    std::string lbl_full_range_type;
};
UnitLabels unit_labels(int sensor_type, int measure_unit);

}  // namespace tw::config
