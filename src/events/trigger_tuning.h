#pragma once
// The trigger's tuning beyond the classic channel settings, kept in the
// [TRIGGER] section after [END GENERAL]:
//   DURATION<n>  seconds the ratio (or amplitude) must stay above its start
//                level before the channel triggers (0: at once)
//   FILTER<n>    OFF, HP, LP or BP: the band filter in front of the detector
//   ORDER<n>     its order, 1..8
//   LOW<n>       Hz: the high-pass corner, the band's lower edge
//   HIGH<n>      Hz: the low-pass corner, the band's upper edge
//   WEIGHT<n>    the channel's weight in the coincidence sum
//   COINCIDENCE  the weight sum that declares an event (0: off, each channel
//                declares its own events)
//   WINDOW       seconds within which the channels' triggers count together
// Every default reproduces the trigger as it was before these keys existed.

#include "config/extra_sections.h"
#include "config/settings.h"
#include "events/band_filter.h"

#include <array>
#include <string>
#include <vector>

namespace tw::events {

inline constexpr std::string_view trigger_section = "TRIGGER";

struct ChannelTuning {
    double min_duration = 0;  // seconds
    FilterDesign filter;
    double weight = 1;
    bool operator==(const ChannelTuning& o) const {
        return min_duration == o.min_duration && filter.kind == o.filter.kind &&
               filter.order == o.filter.order && filter.low_corner == o.filter.low_corner &&
               filter.high_corner == o.filter.high_corner && weight == o.weight;
    }
};

struct TriggerTuning {
    std::array<ChannelTuning, 4> channels;
    double coincidence_sum = 0;     // K; 0: off
    double coincidence_window = 10;  // W, seconds

    bool coincidence() const { return coincidence_sum > 0; }
    ChannelTuning& channel(int k) { return channels.at(static_cast<std::size_t>(k - 1)); }
    const ChannelTuning& channel(int k) const { return channels.at(static_cast<std::size_t>(k - 1)); }
    bool operator==(const TriggerTuning&) const = default;
};

// The tuning of the [TRIGGER] section. A value that cannot be read keeps its
// default, and `problems` gets a line naming the setting.
TriggerTuning read_trigger_tuning(const config::ExtraSections& extra,
                                  std::vector<std::string>* problems = nullptr);
// Sets the keys whose value differs from the default and removes the others.
void write_trigger_tuning(const TriggerTuning& tuning, config::ExtraSections& extra);

// What is wrong with the tuning for these channel settings, one line per
// setting, each naming it: a negative duration, a filter that cannot run at
// the channel's rate, a negative weight, a coincidence sum larger than the
// weights of the channels that record, a window not above 0. Filters and
// weights of channels whose recording is off are not checked.
std::vector<std::string> check_trigger_tuning(const TriggerTuning& tuning,
                                              const config::Settings& settings);

// The same checks; each refused setting is set back to its default (a
// refused coincidence is off). Returns the lines of check_trigger_tuning.
std::vector<std::string> drop_refused_tuning(TriggerTuning& tuning, const config::Settings& settings);

// "[TRIGGER] HIGH1": the name of a setting as the messages give it.
std::string tuning_key(std::string_view key, int channel = 0);

}  // namespace tw::events
