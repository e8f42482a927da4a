#include "acquisition/sample_path.h"

#include <cmath>

namespace tw::acquisition {

std::array<char, 4> format_millis(double second_fraction) {
    long thousandths = std::lround(second_fraction * 1000.0);
    if (!(thousandths >= 0)) thousandths = 0;  // also NaN
    // 0.9995 and above would round to the next second; the position stays
    // inside the current one.
    if (thousandths > 999) thousandths = 999;
    const int t = static_cast<int>(thousandths);
    return {'.', static_cast<char>('0' + t / 100), static_cast<char>('0' + t / 10 % 10),
            static_cast<char>('0' + t % 10)};
}

double SamplePath::true_rate_of(int sps_code) {
    if (sps_code == 1) return 1.0 / 60;  // "1spm"; the table holds 0.016666
    return config::sps_value(sps_code);
}

void SamplePath::start_run(config::BoardFamily family, const std::array<double, 4>& true_rate,
                           const std::array<double, 4>& rate) {
    line_board_ = family == config::infiltec || family == config::lx1500;
    for (std::size_t c = 0; c < channels_.size(); ++c) {
        Channel& ch = channels_[c];
        ch = Channel{};
        ch.rate = rate[c];
        ch.last.channel = static_cast<int>(c);
        const double tr = true_rate[c];
        // Compared as a whole count so that 1/60 gives exactly 120 however
        // the rate was rounded.
        if (tr > 0 && tr < 2) ch.samples_per_output = static_cast<int>(std::lround(2.0 / tr));
    }
    line_board_rate_ = 0;
    second_start_seen_ = false;
    trim_sample_count_ = 0;
}

void SamplePath::start_run(config::BoardFamily family, const config::Settings& settings) {
    std::array<double, 4> true_rate{};
    std::array<double, 4> rate{};
    for (std::size_t c = 0; c < 4; ++c) {
        const int code = settings.channels[c].sps_code;
        true_rate[c] = true_rate_of(code);
        rate[c] = config::sps_value(code);
    }
    start_run(family, true_rate, rate);
}

const SampleOutput& SamplePath::take_sample(int channel, std::int32_t value) {
    Channel& ch = channels_[index(channel)];
    SampleOutput& out = ch.last;
    out.sample_value = value;
    out.full = true;

    if (ch.samples_per_output > 0) {
        ch.slow_count += 1;
        ch.slow_sum += value;
        if (ch.slow_count < ch.samples_per_output) {
            out.full = false;
            if (hook_) hook_(out);
            return out;
        }
        out.sample_value = static_cast<std::int32_t>(std::lround(ch.slow_sum / ch.slow_count));
        ch.slow_count = 0;
        ch.slow_sum = 0;
    }

    ch.samples_this_second += 1;
    if (index(channel) == 0) trim_sample_count_ += 1;

    // A channel without a rate (switched off, yet sending) keeps its last
    // position.
    if (line_board_ || ch.rate > 0) {
        double fraction = 0;
        if (line_board_) {
            const double r = line_board_rate_ == 0 ? line_board_default_rate : line_board_rate_;
            fraction = (ch.samples_this_second - 1) / (r + 0.00000001);
        } else {
            fraction = (ch.samples_this_second - 1) / ch.rate;
        }
        if (fraction >= 1) fraction = 0.999;
        if (fraction == 0) second_start_seen_ = true;
        out.second_fraction = fraction;
        out.millis = format_millis(fraction);
    }

    if (hook_) hook_(out);
    return out;
}

std::array<int, 4> SamplePath::start_new_second() {
    std::array<int, 4> counts{};
    for (std::size_t c = 0; c < channels_.size(); ++c) {
        counts[c] = channels_[c].samples_this_second;
        channels_[c].samples_this_second = 0;
    }
    if (line_board_) line_board_rate_ = counts[0];
    return counts;
}

}  // namespace tw::acquisition
