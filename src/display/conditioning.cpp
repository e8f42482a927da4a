#include "display/conditioning.h"

#include "config/tables.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tw::display {

ClipConstants clip_constants_for(int ad_type) {
    if (ad_type == config::orda20) return {131070, -131070, 131075, -131075};
    return {32766, -32766, 32780, -32780};
}

SampleConditioner::SampleConditioner(const config::Settings& settings,
                                     supervision::PanelModel& panel, const bool& time_base_ready)
    : settings_(settings),
      panel_(panel),
      time_base_ready_(time_base_ready),
      rings_(static_cast<std::size_t>(4) * pre_event_ring_capacity, 0) {
    for (auto& ch : channels_) ch.offset_sum = offset_unseeded;
}

void SampleConditioner::start_run() {
    clip_ = clip_constants_for(settings_.general.ad_type);
    std::fill(rings_.begin(), rings_.end(), 0);
    for (int k = 1; k <= 4; ++k) {
        const config::ChannelSettings& cs = settings_.channel(k);
        ChannelConditioning& ch = channel(k);
        ch.offset_sum = offset_unseeded;
        ch.offset_mean = 0;
        ch.ring_position = 1;
        ch.ring_count = 0;
        ch.chart_new_value = 0;
        // Five long-term windows of the trigger detector.
        ch.offset_window = cs.lta_seconds * config::sps_value(cs.sps_code) * 5;
    }
}

std::span<const std::int32_t> SampleConditioner::ring(int k) const {
    const std::size_t first = static_cast<std::size_t>(k - 1) * pre_event_ring_capacity;
    return {rings_.data() + first, static_cast<std::size_t>(pre_event_ring_capacity)};
}

std::int32_t SampleConditioner::condition_value(std::int32_t sample_value, double offset_term,
                                                const ClipConstants& clip, bool invert) {
    double v = static_cast<double>(sample_value) + offset_term;
    if (v > clip.sample_clip_max) v = clip.sample_clip_max;
    if (v < clip.sample_clip_min) v = clip.sample_clip_min;
    if (std::isnan(v)) v = 0;
    // The default rounding mode sends halves to the even neighbour.
    auto out = static_cast<std::int32_t>(std::nearbyint(v));
    return invert ? -out : out;
}

void SampleConditioner::update_offset(ChannelConditioning& ch, std::int32_t sample_value) {
    const double w = ch.offset_window;
    if (ch.offset_sum == offset_unseeded) {
        ch.offset_sum = sample_value * w;
        return;
    }
    ch.offset_sum = ch.offset_sum - ch.offset_mean + sample_value;
    if (w != 0) ch.offset_mean = ch.offset_sum / w;
}

void SampleConditioner::take_sample(const acquisition::SampleOutput& sample) {
    const int k = (sample.channel & 3) + 1;
    ChannelConditioning& ch = channels_[static_cast<std::size_t>(k - 1)];
    ConditionedSample out;
    out.channel = k;
    out.source = &sample;

    if (!sample.full) {
        out.conditioned_sample = ch.conditioned_sample;
        out.detector_input = ch.detector_input;
        out.offset_mean = ch.offset_mean;
        out.full = false;
        if (hooks.charts) hooks.charts(out);
        if (hooks.drum) hooks.drum(out);
        return;
    }

    const config::ChannelSettings& cs = settings_.channel(k);

    // 1. Conditioning, with the offset estimate of before this sample.
    set_location(location::conditioning);
    const double offset_term = cs.auto_offset ? -ch.offset_mean : static_cast<double>(cs.dc_offset);
    ch.conditioned_sample = condition_value(sample.sample_value, offset_term, clip_, cs.invert > 0);
    ch.chart_new_value = 1;

    // 2. Day track.
    set_location(location::track_append);
    if (cs.logging_enabled && time_base_ready_ && hooks.track_append) {
        hooks.track_append(k, ch.conditioned_sample);
    }

    // 3. Pre-event ring: positions 1..pre_event_samples, never beyond the
    // ring's capacity.
    set_location(location::pre_event_ring);
    rings_[static_cast<std::size_t>(k - 1) * pre_event_ring_capacity +
           static_cast<std::size_t>(ch.ring_position - 1)] = ch.conditioned_sample;
    ch.ring_position += 1;
    ch.ring_count += 1;
    if (ch.ring_position > cs.pre_event_samples || ch.ring_position > pre_event_ring_capacity) {
        ch.ring_position = 1;
    }

    // 4. Numeric monitor: plain decimal text.
    char text[16];
    const auto r = std::to_chars(text, text + sizeof text, ch.conditioned_sample);
    panel_.ch_val[static_cast<std::size_t>(k - 1)].assign(text, r.ptr);

    // 5. Automatic offset (always followed) and the detector's input.
    set_location(location::offset_and_detector);
    update_offset(ch, sample.sample_value);
    ch.detector_input = cs.auto_offset ? sample.sample_value - ch.offset_mean
                                       : static_cast<double>(sample.sample_value) + cs.dc_offset;

    out.conditioned_sample = ch.conditioned_sample;
    out.detector_input = ch.detector_input;
    out.offset_mean = ch.offset_mean;

    // 6. Trigger detector, spectrum, events.
    if (hooks.detector) hooks.detector(out);
    set_location(location::spectrum);
    if (hooks.spectrum) hooks.spectrum(out);
    if (hooks.events) hooks.events(out);

    // 7. Drawing.
    if (hooks.charts) hooks.charts(out);
    if (hooks.drum) hooks.drum(out);
}

}  // namespace tw::display
