#pragma once
// The seismometer signal of each channel: noise, sines, offsets and quake-like
// bursts, summed.
//
// A value depends only on the seed, the channel, the board second and the
// sample's place in it, never on when it was asked for, so the same board
// time always gives the same samples whatever the program did before.

#include <cstdint>
#include <vector>

#include "boardsim/options.h"

namespace tw::boardsim {

class SignalGenerator {
public:
    explicit SignalGenerator(const SimulatorOptions& options);

    // Value of `channel` (0..3) for sample `index` of `count` in board second
    // `board_second`; the sample lies at board_second + index / count.
    // Not clamped, not rounded.
    double value(int channel, std::int64_t board_second, int index, int count) const;

private:
    double gaussian(int channel, std::int64_t board_second, int index) const;

    std::uint64_t seed_;
    std::vector<SignalComponent> components_[4];
    std::vector<QuakeSpec> quakes_[4];
};

// One number of the splitmix64 sequence; a good hash of a 64-bit key.
std::uint64_t splitmix64(std::uint64_t x);

}  // namespace tw::boardsim
