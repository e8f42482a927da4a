// The band filter against its design, the [TRIGGER] settings, and the
// duration and coincidence rules of the recorder.

#include "events/band_filter.h"
#include "events/trigger_tuning.h"
#include "config/time_stamp.h"
#include "recorder_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tw::events::testing {
namespace {

double db(double gain) { return 20 * std::log10(gain); }

TEST(BandFilter, GainIsMinusThreeDecibelsAtTheCornersAndFallsAsTheOrderSays) {
    struct Case {
        FilterKind kind;
        int order;
        double low, high, rate;
    };
    const Case cases[] = {{FilterKind::low_pass, 4, 0, 2, 200},   {FilterKind::low_pass, 3, 0, 1, 50},
                          {FilterKind::high_pass, 4, 1, 0, 200},  {FilterKind::high_pass, 1, 0.5, 0, 20},
                          {FilterKind::band_pass, 4, 0.5, 5, 200}, {FilterKind::band_pass, 2, 1, 3, 100},
                          {FilterKind::band_pass, 3, 2, 4, 100}};
    for (const Case& c : cases) {
        const FilterDesign d{c.kind, c.order, c.low, c.high};
        SCOPED_TRACE(filter_kind_text(c.kind) + " order " + std::to_string(c.order));
        const BandFilter f(d, c.rate);
        ASSERT_TRUE(f.active());
        std::vector<double> corners, decades;
        if (c.kind != FilterKind::low_pass) corners.push_back(c.low), decades.push_back(c.low / 10);
        if (c.kind != FilterKind::high_pass) corners.push_back(c.high), decades.push_back(c.high * 10);
        for (const double fc : corners) EXPECT_NEAR(db(std::abs(f.response(fc))), -3.0103, 0.1) << fc;
        for (const double fd : decades) {
            if (fd >= c.rate / 2) continue;
            const double got = db(std::abs(f.response(fd)));
            EXPECT_NEAR(got, db(designed_gain(d, c.rate, fd)), 0.1) << fd;
            // 20 dB a decade per order, give or take the frequency warping
            // (a band-pass falls by its design, which depends on its width).
            if (c.kind != FilterKind::band_pass) {
                EXPECT_NEAR(got, -20.0 * c.order, 0.1 * 20 * c.order) << fd;
            }
        }
        // Across the band the response follows the design.
        for (double fq = 0.05; fq < c.rate / 2; fq *= 1.7)
            EXPECT_NEAR(std::abs(f.response(fq)), designed_gain(d, c.rate, fq), 1e-6) << fq;
    }
}

TEST(BandFilter, AConstantInputRaisesNoStep) {
    BandFilter high(FilterDesign{FilterKind::high_pass, 4, 0.5, 0}, 100);
    BandFilter low(FilterDesign{FilterKind::low_pass, 4, 0, 5}, 100);
    for (int i = 0; i < 50; ++i) {
        EXPECT_NEAR(high.filter(1000), 0, 1e-9);
        EXPECT_NEAR(low.filter(1000), 1000, 1e-6);
    }
}

TEST(TriggerTuning, RefusedSettingsAreNamedAndSetBack) {
    config::Settings settings;
    for (int k = 1; k <= 4; ++k) settings.channel(k).sps_code = 11, settings.channel(k).record_enabled = k <= 2;
    TriggerTuning t;
    t.channel(1).filter = {FilterKind::low_pass, 4, 0, 50};   // at half of 100
    t.channel(2).filter = {FilterKind::band_pass, 9, 1, 5};   // order
    t.channel(3).filter = {FilterKind::high_pass, 4, 80, 0};  // channel 3 records nothing: not checked
    t.channel(1).min_duration = -1;
    t.coincidence_sum = 3;  // two channels record
    const std::vector<std::string> expected = {
        "[TRIGGER] DURATION1=-1: a duration cannot be negative",
        "[TRIGGER] HIGH1 refused for channel 1 at 100 samples per second: high corner 50 Hz is at or above half the rate (50 Hz)",
        "[TRIGGER] ORDER2 refused for channel 2 at 100 samples per second: order 9 is not 1 to 8",
        "[TRIGGER] COINCIDENCE=3 is more than the weights of the channels that record (2): no event could ever be declared"};
    EXPECT_EQ(check_trigger_tuning(t, settings), expected);
    EXPECT_EQ(drop_refused_tuning(t, settings), expected);
    EXPECT_EQ(t.channel(1).filter.kind, FilterKind::off);
    EXPECT_EQ(t.channel(1).min_duration, 0);
    EXPECT_EQ(t.channel(3).filter.kind, FilterKind::high_pass);
    EXPECT_FALSE(t.coincidence());
    t.channel(1).filter = {FilterKind::band_pass, 2, 5, 2};
    EXPECT_EQ(check_trigger_tuning(t, settings).at(0),
              "[TRIGGER] LOW1 refused for channel 1 at 100 samples per second: low corner 5 Hz is not below the high corner 2 Hz");
}

TEST(TriggerTuning, DefaultsWriteNothingAndEveryKeyReadsBack) {
    config::ExtraSections extra;
    write_trigger_tuning(TriggerTuning{}, extra);
    EXPECT_TRUE(extra.empty());

    TriggerTuning t;
    t.channel(2) = {2.5, {FilterKind::band_pass, 3, 0.5, 8}, 0.5};
    t.coincidence_sum = 1.5, t.coincidence_window = 4;
    write_trigger_tuning(t, extra);
    EXPECT_EQ(extra.format(),
              "[TRIGGER]\r\nDURATION2=2.5\r\nFILTER2=BP\r\nORDER2=3\r\nLOW2=0.5\r\nHIGH2=8\r\nWEIGHT2=0.5\r\n"
              "COINCIDENCE=1.5\r\nWINDOW=4\r\n");
    std::vector<std::string> problems;
    EXPECT_EQ(read_trigger_tuning(extra, &problems), t);
    EXPECT_TRUE(problems.empty());
    write_trigger_tuning(TriggerTuning{}, extra);
    EXPECT_TRUE(extra.empty());

    extra.set("TRIGGER", "FILTER1", "notch");
    EXPECT_EQ(read_trigger_tuning(extra, &problems), TriggerTuning{});
    EXPECT_EQ(problems, std::vector<std::string>{"[TRIGGER] FILTER1=NOTCH is not OFF, HP, LP or BP"});
}

// Ratio triggers at 50 per second, STA 1 s, LTA 30 s, start ratio 3.
class Tuned : public RecorderFixture {
protected:
    void tune(const TriggerTuning& t) {
        write_trigger_tuning(t, settings.extra);
        start();
        for (int k = 1; k <= 4; ++k) settings.channel(k).trigger_mode = 1;
        recorder->on_event_recorded = [this](const RecordedEvent& e) { ended.push_back(e); };
    }
    // `seconds` of a 2 Hz sine of `amplitude` on the channels of `mask`,
    // quiet noise on the others.
    void run(double seconds, int mask, double amplitude) {
        for (int i = 0; i < seconds * 50; ++i, ++n) {
            if (n % 50 == 0) board_date_time = config::stamp_text(base + n / 50);
            const double noise = (n * 7919 % 200) - 100;
            const double wave = amplitude * std::sin(2 * std::numbers::pi * 2 * n / 50.0);
            for (int k = 1; k <= 4; ++k) feed(k, static_cast<std::int32_t>(noise + ((mask >> (k - 1)) & 1 ? wave : 0)));
        }
    }
    std::int64_t base = *config::stamp_seconds("2003/02/03 12:00:00");
    long n = 0;
    std::vector<RecordedEvent> ended;
};

TEST_F(Tuned, ADurationKeepsAShortBurstFromStartingAndStillStartsALongOne) {
    TriggerTuning t;
    t.channel(1).min_duration = 3;
    tune(t);
    run(60, 0, 0), run(1.5, 1, 5000), run(60, 0, 0);
    EXPECT_FALSE(active(1));
    EXPECT_TRUE(ended.empty());
    run(10, 1, 5000);
    EXPECT_TRUE(active(1));
    run(80, 0, 0);
    ASSERT_EQ(ended.size(), 1u);
    // The trigger came three seconds into the burst (second 121.5 + 3).
    EXPECT_EQ(ended[0].trigger_text.substr(0, 19), "2003/02/03 12:02:04");
}

TEST_F(Tuned, CoincidenceDeclaresOnlyWhatEnoughChannelsAgreeOn) {
    TriggerTuning t;
    t.coincidence_sum = 2, t.coincidence_window = 5;
    tune(t);
    run(60, 0, 0), run(5, 0b0001, 5000), run(60, 0, 0);
    EXPECT_TRUE(ended.empty());
    run(5, 0b0011, 5000);
    EXPECT_TRUE(active(1) && active(2));
    EXPECT_FALSE(active(3) || active(4));
    run(80, 0, 0);
    EXPECT_EQ(ended.size(), 2u);
    EXPECT_EQ(event_list->read_lines().size(), 2u);
}

class TunedStart : public RecorderFixture {};

TEST_F(TunedStart, ASettingThatCannotRunIsNamedInTheEventListAndLeftOutAtStart) {
    settings.extra.set("TRIGGER", "FILTER1", "LP");
    settings.extra.set("TRIGGER", "HIGH1", "30");  // 50 per second
    settings.extra.set("TRIGGER", "FILTER2", "LP");
    settings.extra.set("TRIGGER", "HIGH2", "10");
    start();
    const auto lines = event_list->read_lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(20), "Trigger setting refused: [TRIGGER] HIGH1 refused for channel 1 at 50 samples "
                                       "per second: high corner 30 Hz is at or above half the rate (25 Hz)");
    EXPECT_FALSE(recorder->channel(1).filter.active());
    EXPECT_TRUE(recorder->channel(2).filter.active());
}

}  // namespace
}  // namespace tw::events::testing
