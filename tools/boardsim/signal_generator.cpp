#include "boardsim/signal_generator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "boardsim/board_time.h"

namespace tw::boardsim {

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

SignalGenerator::SignalGenerator(const SimulatorOptions& options) : seed_(options.seed) {
    for (const auto& component : options.signals) {
        components_[component.channel - 1].push_back(component);
    }
    for (int c = 0; c < 4; ++c) {
        if (components_[c].empty()) {
            components_[c].push_back(
                SignalComponent{c + 1, SignalKind::noise, SimulatorOptions::default_noise, 0});
        }
    }
    for (const auto& quake : options.quakes) quakes_[quake.channel - 1].push_back(quake);
}

double SignalGenerator::gaussian(int channel, std::int64_t board_second, int index) const {
    std::uint64_t h = splitmix64(seed_);
    h = splitmix64(h ^ static_cast<std::uint64_t>(channel));
    h = splitmix64(h ^ static_cast<std::uint64_t>(board_second));
    h = splitmix64(h ^ static_cast<std::uint64_t>(index));
    const std::uint64_t h2 = splitmix64(h);
    // Box-Muller on two uniforms in (0, 1].
    const double u1 = (static_cast<double>(h >> 11) + 1.0) / 9007199254740992.0;
    const double u2 = static_cast<double>(h2 >> 11) / 9007199254740992.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

namespace {

// Quake shape at `t` seconds after the onset, in units of the peak: a weak
// first arrival, a strong phase after a fifth of the duration whose envelope
// rises to 1 within a second, then an exponential coda that has fallen to
// under 1 % at the end. `noise` is a unit Gaussian sample that roughens the
// carrier.
double quake_shape(double t, double duration, double strong_hz, double noise) {
    if (t < 0 || t >= duration) return 0;
    const double strong_start = 0.2 * duration;
    const double rise = 1.0;
    double envelope = 0.25 * (1.0 - std::exp(-t / 0.3));
    double frequency = 3 * strong_hz;
    if (t >= strong_start) {
        const double s = t - strong_start;
        const double decay = (duration - strong_start - rise) / 5.0;
        envelope = s < rise ? 0.25 + 0.75 * s / rise : std::exp(-(s - rise) / std::max(decay, 0.1));
        frequency = strong_hz;
    }
    const double two_pi = 2.0 * std::numbers::pi;
    const double carrier = 0.7 * std::sin(two_pi * frequency * t) +
                           0.2 * std::sin(two_pi * frequency * 1.7 * t + 1.0) + 0.1 * std::clamp(noise, -3.0, 3.0) / 3.0;
    return envelope * carrier;
}

// A knock at `t` seconds after its onset, in units of the peak: a 4 Hz
// ring (seen at every rate from 10 per second up) dying away.
double spike_shape(double t, double duration) {
    if (t < 0 || t >= duration) return 0;
    return std::sin(2.0 * std::numbers::pi * 4.0 * t) * std::exp(-5.0 * t / duration);
}

}  // namespace

double SignalGenerator::value(int channel, std::int64_t board_second, int index, int count) const {
    const int c = channel & 3;
    const double fraction = count > 0 ? static_cast<double>(index) / count : 0.0;
    // Sines use the time within the day so that the phase keeps its precision.
    const double t = time_of_day(board_second) + fraction;
    double sum = 0;
    double unit_noise = 0;
    bool noise_drawn = false;
    auto noise = [&] {
        if (!noise_drawn) {
            unit_noise = gaussian(c, board_second, index);
            noise_drawn = true;
        }
        return unit_noise;
    };
    for (const auto& component : components_[c]) {
        switch (component.kind) {
        case SignalKind::noise: sum += component.amplitude * noise(); break;
        case SignalKind::sine:
            sum += component.amplitude * std::sin(2.0 * std::numbers::pi * component.frequency_hz * t);
            break;
        case SignalKind::offset: sum += component.amplitude; break;
        }
    }
    for (const auto& quake : quakes_[c]) {
        // Seconds since the latest onset, wrapped into one period (a day
        // for a quake that does not repeat).
        const double period = quake.every_s > 0 ? quake.every_s : static_cast<double>(seconds_per_day);
        double since = std::fmod(t - quake.onset, period);
        if (since < 0) since += period;
        sum += quake.peak * (quake.spike ? spike_shape(since, quake.duration_s)
                                         : quake_shape(since, quake.duration_s, quake.frequency_hz, noise()));
    }
    return sum;
}

}  // namespace tw::boardsim
