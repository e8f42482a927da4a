#include "display/conditioning.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace tw::display {
namespace {

using acquisition::SampleOutput;

struct ConditionerFixture : ::testing::Test {
    config::Settings settings;
    supervision::PanelModel panel;
    SampleConditioner conditioner{settings, panel};

    ConditionerFixture() {
        for (auto& ch : settings.channels) ch.sps_code = 10, ch.lta_seconds = 30, ch.pre_event_samples = 6000;
    }
    const ChannelConditioning& feed(int channel, std::int32_t value) {
        SampleOutput s;
        s.channel = channel - 1, s.sample_value = value;
        ConditionedSample c = conditioner.condition(s);
        conditioner.store_in_ring(c), conditioner.show_on_monitor(c), conditioner.follow_offset(c);
        return conditioner.channel(channel);
    }
};

// Clipped to the board's range less one count, then inverted; halves go to the even neighbour.
TEST(Conditioning, ClipsToTheBoardRangeLessOneCountInvertsAndRoundsHalvesToEven) {
    const struct { config::BoardFamily family; std::int32_t value; double offset; bool invert; std::int32_t out; } cases[] = {
        {config::orda10, 32700, 100, false, 32766},    {config::orda10, 32700, 100, true, -32766},
        {config::orda10, -32768, 0, false, -32766},    {config::orda20, 131071, 0, false, 131070},
        {config::orda20, -131072, 0, false, -131070},  {config::lx1500, 40000, 0, false, 32766},
        {config::orda10, 2, 0.5, false, 2},            {config::orda10, 3, 0.5, false, 4},
        {config::orda10, -3, -0.5, false, -4},         {config::orda10, 10, -0.4, false, 10},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SampleConditioner::condition_value(c.value, c.offset, clip_constants_for(c.family), c.invert), c.out)
            << c.value << " " << c.offset;
}

TEST_F(ConditionerFixture, AutomaticOffsetSeedsOnTheFirstSampleThenFollowsWithWeightOneOverW) {
    settings.channel(1).auto_offset = 1;
    conditioner.start_run();
    EXPECT_DOUBLE_EQ(conditioner.channel(1).offset_window, 7500);

    const auto& first = feed(1, 1000);
    EXPECT_EQ(first.conditioned_sample, 1000);  // offset 0 before the first update
    EXPECT_EQ(std::tuple(first.offset_sum, first.offset_mean, first.detector_input),
              std::tuple(7500.0 * 1000, 0.0, 1000.0));

    const auto& second = feed(1, 1000);
    EXPECT_EQ(second.conditioned_sample, 1000);  // conditioned with the mean of before
    EXPECT_DOUBLE_EQ(second.offset_mean, (7500.0 * 1000 + 1000) / 7500);
    EXPECT_DOUBLE_EQ(second.detector_input, 1000 - second.offset_mean);

    const auto& third = feed(1, 1000);
    EXPECT_EQ(third.conditioned_sample, 0);  // 1000 - 1000.13 rounds to 0

    // Without auto_offset the offset is followed all the same, but the
    // fixed offset is used and the detector input is not clipped.
    settings.channel(2).dc_offset = 100;
    const auto& fixed = feed(2, 32700);
    EXPECT_EQ(std::pair(fixed.conditioned_sample, fixed.detector_input), std::pair(32766, 32800.0));
    feed(2, 32700);
    EXPECT_NE(conditioner.channel(2).offset_mean, 0);
}

TEST_F(ConditionerFixture, RingWrapsAfterPreEventSamplesAndIsClearedAtStart) {
    settings.channel(4).pre_event_samples = 5;
    conditioner.start_run();
    for (int v = 1; v <= 7; ++v) feed(4, v * 10);
    EXPECT_EQ(conditioner.ring_position(4), 3);
    const auto ring = conditioner.ring(4);
    EXPECT_EQ(std::vector<std::int32_t>(ring.begin(), ring.begin() + 6),
              (std::vector<std::int32_t>{60, 70, 30, 40, 50, 0}));

    // A fractional count (one sample per minute, 2 minutes) keeps one position.
    settings.channel(1).pre_event_samples = 0.016666 * 120;
    conditioner.start_run();
    EXPECT_EQ(conditioner.ring(4)[0], 0);
    feed(1, 7), feed(1, 8);
    EXPECT_EQ(std::pair(conditioner.ring_position(1), conditioner.ring(1)[0]), std::pair(1, 8));

    // A setting beyond the ring's capacity never writes past it.
    settings.channel(2).pre_event_samples = 500000;
    conditioner.start_run();
    for (int i = 0; i < pre_event_ring_capacity + 2; ++i) feed(2, i);
    EXPECT_EQ(conditioner.ring_position(2), 3);
}

}  // namespace
}  // namespace tw::display
