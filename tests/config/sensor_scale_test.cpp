#include "config/sensor_scale.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tw::config {
namespace {

TEST(SensorScale, EachFigureFromTheShownOneAndAClearTextWhenAnInputIsZero) {
    struct Case {
        double sensitivity, gain, bits, range;
        const char *ad_sens, *output, *full_range, *resolution;
        double factor;
    };
    const Case cases[] = {
        {0.5, 100, 16, 20, "3276.8", "00.020000000", "00.400,000,000", "00.000006104", 0.000006104},
        {1, 1, 18, 5, "52428.8", "01.000000000", "05.000,000,000", "00.000019073", 0.000019073},
        // Below half a unit of the ninth decimal the factor is 0.
        {1, 1, 32, 1, "4294967296", "01.000000000", "01.000,000,000", "00.000000000", 0},
        {0, 100, 16, 20, "3276.8", "Sensitivity is 0", "Sensitivity is 0", "Sensitivity is 0", 0},
        {0.5, 0, 16, 20, "3276.8", "Amplif. gain is 0", "Amplif. gain is 0", "Amplif. gain is 0", 0},
        {0.5, 100, 16, 0, "A/D range is 0", "00.020000000", "A/D range is 0", "A/D range is 0", 0},
        {1e-20, 1, 16, 20, "3276.8", "Out of range", "Out of range", "Out of range", 0},
        {0.5, 100, 5000, 20, "A/D bits out of range", "00.020000000", "00.400,000,000",
         "A/D bits out of range", 0},
    };
    for (const Case& c : cases) {
        ChannelSettings ch;
        ch.sensor_sensitivity = c.sensitivity, ch.amplifier_gain = c.gain;
        ch.ad_bits = c.bits, ch.ad_range = c.range;
        const SensorScale s = compute_sensor_scale(ch);
        EXPECT_EQ(s.lbl_ad_sens, c.ad_sens) << c.sensitivity << " " << c.gain << " " << c.range;
        EXPECT_EQ(s.lbl_data_output, c.output);
        EXPECT_EQ(s.lbl_full_range, c.full_range);
        EXPECT_EQ(s.lbl_resolution, c.resolution);
        EXPECT_DOUBLE_EQ(s.data_output_factor, c.factor);
    }
}

TEST(SensorScale, UnitLabelsFollowSensorTypeAndUnit) {
    const std::tuple<int, int, const char*> cases[] = {
        {3, 4, "V/ um/ss|um/ss / V|um/ss|um/ss"}, {1, 1, "V/ m/s|m/s / V|m/s|m/s"},
        {2, 5, "V/ nm|nm/V|nm|nm"},               {0, 3, "counts|counts|V|V"},
        {2, 9, "V/ ?|?/V|?|?"},  // a unit outside the table
    };
    for (const auto& [type, unit, texts] : cases) {
        const UnitLabels l = unit_labels(type, unit);
        EXPECT_EQ(l.lbl_sensor + "|" + l.lbl_data_type + "|" + l.lbl_resolution_type + "|" +
                      l.lbl_full_range_type,
                  texts);
    }
}

}  // namespace
}  // namespace tw::config
