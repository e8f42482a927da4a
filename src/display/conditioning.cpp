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
                                     supervision::PanelModel& panel)
    : settings_(settings),
      panel_(panel),
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

ConditionedSample SampleConditioner::condition(const acquisition::SampleOutput& decoded) {
    const int k = (decoded.channel & 3) + 1;
    const config::ChannelSettings& cs = settings_.channel(k);
    ChannelConditioning& ch = channel(k);
    const double offset_term = cs.auto_offset ? -ch.offset_mean : static_cast<double>(cs.dc_offset);
    ch.conditioned_sample = condition_value(decoded.sample_value, offset_term, clip_, cs.invert > 0);
    ConditionedSample out = channel_values(decoded);
    out.full = true;
    return out;
}

void SampleConditioner::store_in_ring(const ConditionedSample& sample) {
    const int k = sample.channel;
    ChannelConditioning& ch = channel(k);
    rings_[static_cast<std::size_t>(k - 1) * pre_event_ring_capacity +
           static_cast<std::size_t>(ch.ring_position - 1)] = sample.conditioned_sample;
    ch.ring_position += 1;
    ch.ring_count += 1;
    if (ch.ring_position > settings_.channel(k).pre_event_samples ||
        ch.ring_position > pre_event_ring_capacity) {
        ch.ring_position = 1;
    }
}

void SampleConditioner::show_on_monitor(const ConditionedSample& sample) {
    char text[16];
    const auto r = std::to_chars(text, text + sizeof text, sample.conditioned_sample);
    panel_.ch_val[static_cast<std::size_t>(sample.channel - 1)].assign(text, r.ptr);
}

void SampleConditioner::follow_offset(ConditionedSample& sample) {
    ChannelConditioning& ch = channel(sample.channel);
    const config::ChannelSettings& cs = settings_.channel(sample.channel);
    const std::int32_t value = sample.source ? sample.source->sample_value : 0;
    update_offset(ch, value);
    ch.detector_input = cs.auto_offset ? value - ch.offset_mean
                                       : static_cast<double>(value) + cs.dc_offset;
    sample.detector_input = ch.detector_input;
    sample.offset_mean = ch.offset_mean;
}

ConditionedSample SampleConditioner::held_back(const acquisition::SampleOutput& decoded) const {
    ConditionedSample out = channel_values(decoded);
    out.full = false;
    return out;
}

ConditionedSample SampleConditioner::channel_values(const acquisition::SampleOutput& decoded) const {
    const int k = (decoded.channel & 3) + 1;
    const ChannelConditioning& ch = channel(k);
    ConditionedSample out;
    out.channel = k;
    out.source = &decoded;
    out.conditioned_sample = ch.conditioned_sample;
    out.detector_input = ch.detector_input;
    out.offset_mean = ch.offset_mean;
    return out;
}

}  // namespace tw::display
