#include "events/detector.h"

#include "config/number_text.h"
#include "events/event_texts.h"

#include <cmath>

namespace tw::events {

namespace {

void update_average(double& sum, double& average, double window, double magnitude,
                    double seed_amplitude) {
    if (sum == 0) {
        sum = seed_amplitude * window;
        return;
    }
    sum = sum - average + magnitude;
    if (window != 0) average = sum / window;
}

std::string truncated_three_decimals(double value) {
    if (!std::isfinite(value)) return config::plain_number(0);
    return config::plain_number(std::floor(value * 1000) / 1000);
}

}  // namespace

void update_detector(DetectorState& s, double x) {
    const double magnitude = std::abs(x);
    if (magnitude > s.half_cycle_peak) s.half_cycle_peak = magnitude;
    if (s.previous_input * x < 0) {
        s.half_cycle_amplitude = s.half_cycle_peak;
        s.half_cycle_peak = 0;
    }
    if (s.half_cycle_amplitude > s.max_amplitude) s.max_amplitude = s.half_cycle_amplitude;
    s.previous_input = x;

    update_average(s.lta_sum, s.lta_average, s.lta_samples, magnitude, s.half_cycle_amplitude);
    update_average(s.sta_sum, s.sta_average, s.sta_samples, magnitude, s.half_cycle_amplitude);

    if (s.lta_average != 0) {
        s.sta_lta_ratio = s.sta_average / s.lta_average;
        if (s.sta_lta_ratio > s.max_ratio) s.max_ratio = s.sta_lta_ratio;
    }
}

LiveValues live_values(const DetectorState& s, double offset_mean) {
    LiveValues v;
    v.monstart[0] = truncated_three_decimals(s.sta_average);
    v.monstart[1] = truncated_three_decimals(s.lta_average);
    v.monstart[2] = truncated_three_decimals(s.sta_lta_ratio);
    v.dc_average = fixed_number_text(offset_mean, 5, 3);
    v.max_noise = fixed_number_text(s.max_amplitude, 5, 3);
    return v;
}

}  // namespace tw::events
