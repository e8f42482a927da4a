#include "acquisition/sample_path.h"

#include <gtest/gtest.h>

#include <vector>

namespace tw::acquisition {
namespace {

struct Recorder {
    SamplePath path;
    std::vector<SampleOutput> seen;
    Recorder(config::BoardFamily family, std::array<int, 4> sps_codes) {
        config::Settings settings;
        for (int c = 0; c < 4; ++c) settings.channels[c].sps_code = sps_codes[c];
        path.set_sample_hook([this](const SampleOutput& s) { seen.push_back(s); });
        path.start_run(family, settings);
    }
};

constexpr int sps_1spm = 1, sps_01 = 2, sps_05 = 3, sps_1 = 4, sps_50 = 10, sps_100 = 11;

TEST(SamplePath, SecondFractionsAtOneHundredSamplesPerSecond) {
    Recorder r(config::orda10, {sps_100, 0, 0, 0});
    for (int i = 0; i < 101; ++i) r.path.take_sample(0, i);
    ASSERT_EQ(r.seen.size(), 101u);
    EXPECT_TRUE(r.path.second_start_seen());
    EXPECT_EQ(std::pair(r.seen[0].second_fraction, r.seen[0].millis_text()), std::pair(0.0, std::string_view(".000")));
    EXPECT_DOUBLE_EQ(r.seen[99].second_fraction, 0.99);
    EXPECT_EQ(r.seen[99].millis_text(), ".990");
    // The board clock running fast.
    EXPECT_EQ(std::pair(r.seen[100].second_fraction, r.seen[100].millis_text()), std::pair(0.999, std::string_view(".999")));
    EXPECT_EQ(r.path.trim_sample_count(), 101u);

    r.path.clear_second_start_seen();
    EXPECT_EQ(r.path.start_new_second(), (std::array<int, 4>{101, 0, 0, 0}));
    EXPECT_EQ(r.path.take_sample(0, 5).second_fraction, 0.0);
    EXPECT_TRUE(r.path.second_start_seen());
}

TEST(SamplePath, SlowRatesAverageTheBoardsTwoSamplesPerSecond) {
    Recorder r(config::orda20, {sps_1spm, sps_01, sps_05, sps_1});
    const int per_output[] = {120, 20, 4, 2};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(r.path.samples_per_output(c), per_output[c]);

    // 0..119 averages to 59.5, rounded to 60.
    for (int i = 0; i < 120; ++i) r.path.take_sample(0, i);
    ASSERT_EQ(r.seen.size(), 120u);
    for (int i = 0; i < 119; ++i) {
        EXPECT_FALSE(r.seen[i].full);
        EXPECT_EQ(r.seen[i].sample_value, i);  // drawn as received
    }
    EXPECT_EQ(std::pair(r.seen[119].full, r.seen[119].sample_value), std::pair(true, 60));
    EXPECT_EQ(std::tuple(r.path.slow_count(0), r.path.samples_this_second(0), r.path.trim_sample_count()),
              std::tuple(0, 1, std::uint64_t{1}));

    r.seen.clear();
    for (int i = 0; i < 40; ++i) r.path.take_sample(1, -100000 - (i % 2));
    ASSERT_EQ(r.seen.size(), 40u);
    EXPECT_TRUE(r.seen[19].full && r.seen[39].full);
    EXPECT_EQ(r.seen[19].sample_value, -100001);  // -100000.5 rounds away from zero
    EXPECT_EQ(r.path.samples_this_second(1), 2);
}

TEST(SamplePath, LineBoardsPlaceSamplesByLastSecondsChannelOneCount) {
    Recorder r(config::infiltec, {sps_50, 0, 0, 0});
    r.path.take_sample(0, 1);
    EXPECT_EQ(r.path.take_sample(0, 2).millis_text(), ".020");  // 50 assumed
    for (int i = 0; i < 23; ++i) r.path.take_sample(0, 3);
    r.path.start_new_second();
    EXPECT_EQ(r.path.line_board_rate(), 25.0);
    r.path.take_sample(0, 1);
    EXPECT_EQ(r.path.take_sample(0, 2).millis_text(), ".040");
    for (int i = 0; i < 30; ++i) r.path.take_sample(0, 3);
    EXPECT_EQ(r.path.second_fraction(0), 0.999);
}

TEST(SamplePath, MillisTextIsThreeDigitsAndStaysInsideTheSecond) {
    const std::pair<double, std::string> cases[] = {
        {0.5, ".500"}, {0.04, ".040"}, {0.9996, ".999"}, {-0.1, ".000"}};
    for (const auto& [fraction, text] : cases) {
        const auto m = format_millis(fraction);
        EXPECT_EQ(std::string(m.begin(), m.end()), text) << fraction;
    }
}

}  // namespace
}  // namespace tw::acquisition
