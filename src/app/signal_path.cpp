// The signal path: what the station does with every decoded sample, in the
// order the program has always done it. The sample path of the acquisition
// (slow-rate averaging, position in the board second) hands each sample here.

#include "app/station.h"

#include "config/tables.h"

namespace tw::app {

void Station::take_sample(const acquisition::SampleOutput& decoded) {
    const int k = (decoded.channel & 3) + 1;
    const config::ChannelSettings& channel = settings.channel(k);
    int& location = run_flags.error_location;

    // The charts' clock runs on every sample of the fastest channel.
    if (decoded.channel == acquisition.fastest_channel())
        charts.advance_cursor(config::sps_value(channel.sps_code));

    // A sample held back by the slow-rate averaging skips everything but the
    // drawing, which sees the channel's previous value.
    display::ConditionedSample sample = conditioner.held_back(decoded);
    if (decoded.full) {
        ++samples_taken[static_cast<std::size_t>(k - 1)];
        location = display::location::conditioning;
        sample = conditioner.condition(decoded);

        location = display::location::track_append;
        if (channel.logging_enabled && board_clock.time().time_base_ready)
            tracks.track_append_sample(k, sample.conditioned_sample);

        location = display::location::pre_event_ring;
        conditioner.store_in_ring(sample);
        conditioner.show_on_monitor(sample);

        location = display::location::offset_and_detector;
        conditioner.follow_offset(sample);
        recorder.update_detector(sample);

        location = display::location::spectrum;
        spectrum.take_sample(k, sample.conditioned_sample);

        recorder.process_sample(sample);  // event start, sample, end
        stream.take_sample(k, sample.conditioned_sample, decoded);  // miniSEED, SeedLink
    }

    charts.draw_sample(k, sample.conditioned_sample, decoded.full);  // zoom chart, channel chart

    location = display::location::drum;
    drums.drum_sample(k, sample.conditioned_sample);
}

}  // namespace tw::app
