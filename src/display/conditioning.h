#pragma once
// Sample conditioning: every decoded sample of a channel gets the channel's
// offset (fixed or automatic), is clipped to the board's range less one count
// at each end and optionally inverted. The result (`conditioned_sample`) is
// what the charts, the day tracks, the pre-event ring and the event files
// see; the trigger detector gets a second, unclipped value
// (`detector_input`).
//
// The steps, in the order every sample takes them (the station runs them
// with the later steps in between: the day track after conditioning, the
// detector, the spectrum and the events after the detector input):
//   condition()          offset, clipping, inversion (error location 314);
//   store_in_ring()      the pre-event ring (316);
//   show_on_monitor()    the numeric monitor caption `ch_val`;
//   follow_offset()      automatic offset and `detector_input` (317).
// A sample held back by the slow-rate averaging takes none of them: it only
// reaches the charts and the drum, with the channel's previous value
// (held_back()).

#include "acquisition/sample_path.h"
#include "config/settings.h"
#include "supervision/panel_model.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tw::display {

// Positions of the pre-event ring of each channel; `pre_event_samples` above
// this is used as this.
inline constexpr int pre_event_ring_capacity = 180000;

// Error locations of the per-sample steps.
namespace location {
inline constexpr int conditioning = 314;
inline constexpr int track_append = 315;
inline constexpr int pre_event_ring = 316;
inline constexpr int offset_and_detector = 317;
inline constexpr int spectrum = 318;
inline constexpr int zoom_chart = 323;
inline constexpr int channel_chart = 324;
inline constexpr int drum = 325;
}  // namespace location

// Constants fixed for a run by the board family.
struct ClipConstants {
    std::int32_t sample_clip_max = 32766;
    std::int32_t sample_clip_min = -32766;
    double chart_top = 32780;      // Y at the upper edge of every chart
    double chart_bottom = -32780;  // Y at the lower edge
};
// The 18-bit board (ad_type 1) gets +-131070 and a chart of +-131075; every
// other board +-32766 and +-32780.
ClipConstants clip_constants_for(int ad_type);

// One sample as the later steps see it.
struct ConditionedSample {
    int channel = 1;  // 1..4
    std::int32_t conditioned_sample = 0;
    double detector_input = 0;
    double offset_mean = 0;  // the automatic offset estimate after this sample
    // false: a sample held back by the slow-rate averaging (only the charts
    // and the drum see it, with the channel's previous values).
    bool full = true;
    // The decoded sample: `millis_text`, `second_fraction`.
    const acquisition::SampleOutput* source = nullptr;
};

struct ChannelConditioning {
    double offset_sum = 0;
    double offset_mean = 0;
    std::int32_t conditioned_sample = 0;
    double detector_input = 0;
    int ring_position = 1;  // next position to write, 1..capacity
    // Samples written to the ring since START (the ring holds the last of
    // them, at most its capacity): positions beyond hold no sample.
    std::int64_t ring_count = 0;
    double offset_window = 0;  // W: five long-term windows, in samples
};

class SampleConditioner {
public:
    // `offset_sum` holds this until the first sample of a run seeds it.
    static constexpr double offset_unseeded = 200000000.0;

    SampleConditioner(const config::Settings& settings, supervision::PanelModel& panel);

    // START: clip constants from ad_type, offsets unseeded, ring cleared and
    // its position back to 1, offset windows from the channels' long-term
    // windows and rates.
    void start_run();

    // Offset (the automatic one as it was before this sample), clipping,
    // inversion: the sample's `conditioned_sample`.
    ConditionedSample condition(const acquisition::SampleOutput& decoded);
    // The pre-event ring: positions 1..pre_event_samples, never beyond the
    // ring's capacity.
    void store_in_ring(const ConditionedSample& sample);
    // The numeric monitor: plain decimal text.
    void show_on_monitor(const ConditionedSample& sample);
    // The automatic offset follows every sample (used or not); then the
    // detector's input, unclipped. Fills in detector_input and offset_mean.
    void follow_offset(ConditionedSample& sample);
    // A sample held back by the slow-rate averaging: the channel's last values.
    ConditionedSample held_back(const acquisition::SampleOutput& decoded) const;

    const ClipConstants& clip() const { return clip_; }
    const ChannelConditioning& channel(int k) const { return channels_.at(k - 1); }
    ChannelConditioning& channel(int k) { return channels_.at(k - 1); }
    // The ring of channel k, positions 1..capacity at indexes 0..capacity-1.
    std::span<const std::int32_t> ring(int k) const;
    int ring_position(int k) const { return channel(k).ring_position; }
    // Samples the ring holds that the board sent since START.
    std::int64_t ring_count(int k) const { return channel(k).ring_count; }

    // Steps of the conditioning on their own.
    // Offset, clip, round half to even, invert.
    static std::int32_t condition_value(std::int32_t sample_value, double offset_term,
                                        const ClipConstants& clip, bool invert);
    // Running mean with weight 1/W; the first sample of a run only seeds the
    // sum. A window of 0 leaves the mean as it is.
    static void update_offset(ChannelConditioning& ch, std::int32_t sample_value);

private:
    // The channel's current values, for the decoded sample.
    ConditionedSample channel_values(const acquisition::SampleOutput& decoded) const;

    const config::Settings& settings_;
    supervision::PanelModel& panel_;
    ClipConstants clip_;
    std::array<ChannelConditioning, 4> channels_{};
    std::vector<std::int32_t> rings_;  // 4 x capacity
};

}  // namespace tw::display
