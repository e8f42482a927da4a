#pragma once
// The per-channel path of a decoded sample: slow-rate averaging, the count of
// samples in the current board second and the sample's position in it.
//
// The caller decodes a sample packet (decode_packet / decode_sample_packet)
// and hands its channel and value to take_sample(), which calls the sample
// hook once with the result. Not handled here, because they belong to the
// caller's loop:
// - the board silence detector (`passes_since_sample`): reset it for every
//   sample packet whose DecodeStatus is ok, before take_sample();
// - the chart clock of the fastest channel, advanced before the sample is
//   drawn: the hook knows the channel.

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "config/settings.h"
#include "config/tables.h"

namespace tw::acquisition {

struct SampleOutput {
    int channel = 0;              // 0..3
    std::int32_t sample_value = 0;
    double second_fraction = 0;   // position in the board second, 0..0.999
    std::array<char, 4> millis{'.', '0', '0', '0'};  // `millis_text`
    // false for the intermediate samples of a slow-rate channel: they go to
    // the chart and drum drawing only, not to conditioning, trigger, event
    // files or tracks; their second_fraction and millis are the channel's
    // last ones.
    bool full = true;

    // "." and three digits: ".990" for 0.99, ".999" for 0.999.
    std::string_view millis_text() const { return {millis.data(), millis.size()}; }
};

// `millis_text` of a second fraction: "." and the fraction in thousandths,
// rounded, never ".000" for a fraction close to 1. Locale-free.
std::array<char, 4> format_millis(double second_fraction);

class SamplePath {
public:
    using SampleHook = std::function<void(const SampleOutput&)>;

    // Rate a line-oriented board is assumed to have before a whole second of
    // its samples has been counted.
    static constexpr double line_board_default_rate = 50;

    // The configured rate in samples per second of an sps_code, with one
    // sample per minute as exactly 1/60 (`true_rate`); 0 for OFF.
    static double true_rate_of(int sps_code);

    void set_sample_hook(SampleHook hook) { hook_ = std::move(hook); }

    // Starts a run: forgets all per-channel state. `true_rate` drives the
    // slow-rate averaging (rates below 2 run the board at 2 samples per
    // second; round(2 / true_rate) of them make one sample). `rate` is the
    // `sps_values` entry of each channel, by which ORDA sample positions are
    // computed.
    void start_run(config::BoardFamily family, const std::array<double, 4>& true_rate,
                   const std::array<double, 4>& rate);
    // The same from the channels' sps_code settings.
    void start_run(config::BoardFamily family, const config::Settings& settings);

    // One decoded sample of channel 0..3 (a channel outside that range is
    // taken modulo 4). Calls the hook, and returns what it was given.
    const SampleOutput& take_sample(int channel, std::int32_t value);

    // At every time packet: the counts of the ending second become the
    // result, for line-oriented boards channel 1's count becomes the rate
    // of the next second, and every channel's count restarts at 0.
    std::array<int, 4> start_new_second();

    // Set when a sample lay exactly at the start of a board second; read by
    // the board clock supervision, cleared at STOP.
    bool second_start_seen() const { return second_start_seen_; }
    void clear_second_start_seen() { second_start_seen_ = false; }

    // Full samples of channel 1 since the last reset, for clock trimming.
    std::uint64_t trim_sample_count() const { return trim_sample_count_; }
    void reset_trim_sample_count() { trim_sample_count_ = 0; }

    std::int32_t sample_value(int channel) const { return channels_[index(channel)].last.sample_value; }
    int samples_this_second(int channel) const { return channels_[index(channel)].samples_this_second; }
    double second_fraction(int channel) const { return channels_[index(channel)].last.second_fraction; }
    std::string_view millis_text(int channel) const { return channels_[index(channel)].last.millis_text(); }
    int slow_count(int channel) const { return channels_[index(channel)].slow_count; }
    double slow_sum(int channel) const { return channels_[index(channel)].slow_sum; }
    // Board samples averaged into one output sample; 0 when not averaged.
    int samples_per_output(int channel) const { return channels_[index(channel)].samples_per_output; }
    double line_board_rate() const { return line_board_rate_; }

private:
    struct Channel {
        double rate = 0;            // sps_values entry
        int samples_per_output = 0; // 0: no averaging
        int slow_count = 0;
        double slow_sum = 0;
        int samples_this_second = 0;
        SampleOutput last;
    };
    static std::size_t index(int channel) { return static_cast<std::size_t>(channel & 3); }

    bool line_board_ = false;
    std::array<Channel, 4> channels_{};
    double line_board_rate_ = 0;  // channel 1 samples of the previous second
    bool second_start_seen_ = false;
    std::uint64_t trim_sample_count_ = 0;
    SampleHook hook_;
};

}  // namespace tw::acquisition
