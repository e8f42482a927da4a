#pragma once
// The trigger detector of one channel: the amplitude of each half cycle of
// the signal, and a short-term and a long-term running average of its
// absolute value with their ratio. It runs the same way before, during and
// after events; its state lives for the whole run of the program.

#include <array>
#include <string>

namespace tw::events {

struct DetectorState {
    // Window lengths in samples (seconds x rate, not rounded), set at START.
    double sta_samples = 0;
    double lta_samples = 0;

    double previous_input = 0;
    double half_cycle_peak = 0;       // largest |input| since the last zero crossing
    double half_cycle_amplitude = 0;  // the peak captured at the last zero crossing
    double max_amplitude = 0;         // largest half-cycle amplitude since the last event end
    double lta_sum = 0;
    double lta_average = 0;
    double sta_sum = 0;
    double sta_average = 0;
    double sta_lta_ratio = 0;
    double max_ratio = 0;  // largest ratio since the last event end
};

// One sample's `detector_input`:
// - the half-cycle peak follows |input|; a sign change (strictly: a sample
//   of 0 is no crossing) captures it as the half-cycle amplitude and restarts
//   it, the crossing sample still counting towards the ending half cycle;
// - each average is a running mean with weight 1/window; while its sum is
//   exactly 0 the sum is seeded with amplitude x window instead (as if the
//   whole window had held the last half-cycle amplitude) and the average
//   keeps its value for that sample;
// - the ratio follows sta/lta while the long-term average is not 0.
// A window of 0 samples leaves its average as it is.
void update_detector(DetectorState& state, double detector_input);

// What the trigger panel shows for the channel it displays.
struct LiveValues {
    // monstart(0..2): sta average, lta average and their ratio, each
    // truncated to three decimals.
    std::array<std::string, 3> monstart;
    std::string dc_average;  // the automatic offset estimate, "#00000.#00"
    std::string max_noise;   // max_amplitude, "#00000.#00"
};
LiveValues live_values(const DetectorState& state, double offset_mean);

}  // namespace tw::events
