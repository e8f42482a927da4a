// The trigger panel over a recorder wired as the station wires it.

#include "events/trigger_panel.h"

#include "config/number_text.h"
#include "recorder_fixture.h"

namespace tw::events::testing {
namespace {

using F = TriggerField;

class TriggerPanelTest : public RecorderFixture {
protected:
    TriggerPanelTest() {
        panel.model().changed = [this] { ++notices; };
        recorder->on_live_values = [this](int k, const LiveValues& v) { panel.show_live_values(k, v); };
        panel.load();
        panel.activate();
    }
    void type(F field, const std::string& text) {
        panel.set_field(field, text);
        panel.leave_field(field);
    }
    const std::string& text(F field) const { return panel.model().text(field); }

    fakes::FakeDialogs dialogs;
    int selected = 1;
    bool open = false;
    int locks = 0;
    TriggerPanel panel{{settings, dialogs, *recorder, selected, open, [this] { ++locks; }}};
    int notices = 0;
};

TEST_F(TriggerPanelTest, PreEventTimeIsLimitedToWhatTheRingHoldsAtTheChannelsRate) {
    const struct { int sps_code; const char* typed; const char* shown; bool refused; } cases[] = {  // shown after Apply
        {12, "15", "15", false}, {12, "16", "15", true},  // 200 per second: 180000 samples
        {10, "60", "60", false}, {10, "900", "60", true},  // 50 per second
        {0, "901", "901", false},                          // channel off: no check
    };
    for (const auto& c : cases) {
        dialogs.shown.clear();
        settings.channel(1).sps_code = c.sps_code;
        type(F::pre_event_minutes, c.typed), type(F::max_event_minutes, "32767");
        panel.apply_clicked();
        const auto& ch = settings.channel(1);
        EXPECT_EQ(text(F::pre_event_minutes), c.shown) << c.typed;
        EXPECT_EQ(ch.pre_event_minutes, std::stod(c.shown));
        EXPECT_LE(ch.pre_event_samples, 180000);
        // The stored list holds what is applied, so that a restart reads it.
        config::ChannelSettings reread = ch;
        config::expand_start_params(reread);
        EXPECT_EQ(reread.pre_event_minutes, ch.pre_event_minutes);
        EXPECT_EQ(dialogs.messages().size(), c.refused ? 1u : 0u);
        EXPECT_TRUE(!c.refused || dialogs.messages()[0] == "Pre-event time exceeded buffer capacity for the selected "
                                                          "SPS.\r\nPlease reduce SPS or pre-event time. | Error.");
    }
}

TEST_F(TriggerPanelTest, MaximumLengthGrowsToPreAndPostWhileTheListKeepsTheTypedOne) {
    settings.channel(1).sps_code = 9;  // 25 per second: up to 120 minutes before
    type(F::pre_event_minutes, "30"), type(F::post_event_minutes, "100"), type(F::max_event_minutes, "120");
    panel.apply_clicked();
    const auto& ch = settings.channel(1);
    EXPECT_EQ(std::tuple(text(F::max_event_minutes), ch.max_event_minutes, ch.max_event_samples),
              std::tuple("130", 130.0, 25 * 130 * 60.0));
    EXPECT_EQ(ch.stop_params, text(F::stop_amplitude) + ";100;" + text(F::stop_ratio) + ";120");
    config::ChannelSettings reread = ch;
    config::expand_stop_params(reread);
    EXPECT_EQ(reread.max_event_minutes, 120);
}

TEST_F(TriggerPanelTest, FieldsAreLimitedWhenLeftAndApplyReadsTextNeverLeft) {
    const std::tuple<F, const char*, const char*> cases[] = {
        {F::start_amplitude, "40000", "32767"}, {F::sta_seconds, "-5", " 0"},
        {F::lta_seconds, "abc", " 0"},          {F::stop_ratio, "2.50", "2.5"},
        {F::mag_corr_1, "150", "100"},          {F::mag_corr_2, "-.5", "-0.5"},
        {F::drum_scale, "x", "x"},  // not limited; Apply keeps the old scale
    };
    for (const auto& [field, typed, shown] : cases) {
        type(field, typed);
        EXPECT_EQ(text(field), shown) << typed;
    }
    panel.set_field(F::samples_over_start, "99999");  // Apply straight after typing
    panel.apply_clicked();
    const auto& ch = settings.channel(1);
    EXPECT_EQ(std::tuple(ch.start_amplitude, ch.samples_over_start, ch.sta_seconds, ch.drum_scale),
              std::tuple(32767, 32767, 0, 1.0));
    EXPECT_EQ(ch.mag_corr_terms[0] + " " + ch.mag_corr_terms[1], "100 -0.5");
    EXPECT_EQ(ch.magnitude_correction.substr(0, 9), "100;-0.5;");
}

// Following the selector and storing only on Apply are the window's test
// (tests/ui); here Apply on another channel, the figures without a sensor,
// and the defaults, which fill the fields without storing them.
TEST_F(TriggerPanelTest, ApplyStoresTheShownChannelOnlyNoSensitivityGivesNoFactorAndDefaultsFillTheFields) {
    selected = 3;
    panel.follow_selected_channel();
    panel.trigmode_clicked(1);
    type(F::ad_range, "0");
    EXPECT_EQ(settings.channel(3).trigger_mode, 0);  // nothing before Apply
    panel.apply_clicked();
    EXPECT_EQ(settings.channel(3).trigger_mode, 1);
    EXPECT_EQ(panel.model().scale.lbl_resolution + ", " + panel.model().scale.lbl_ad_sens,
              "Sensitivity is 0, A/D range is 0");
    EXPECT_EQ(settings.channel(3).data_output_factor, 0);
    EXPECT_EQ(settings.channel(1).trigger_mode, 0);
    selected = 1;
    panel.follow_selected_channel();
    EXPECT_EQ(panel.model().trigmode, 0);
    EXPECT_EQ(text(F::ad_range), config::signed_number_text(settings.channel(1).ad_range));
    for (const bool teleseismic : {true, false}) {
        dialogs.answers = {teleseismic};
        panel.defaults_clicked();
        EXPECT_EQ(text(F::stop_amplitude), teleseismic ? "800" : "20000");
        EXPECT_EQ(text(F::mag_corr_5) + text(F::drum_scale) + text(F::filter_delay), "0.00120");
    }
    EXPECT_EQ(dialogs.shown.back().text, "Setup values for teleseismic events?");
    EXPECT_EQ(settings.channel(1).start_amplitude, 1000);
}

TEST_F(TriggerPanelTest, LiveValuesOfTheShownChannelUnderTheirOwnCaptionsAndNoiseReset) {
    EXPECT_TRUE(open && locks == 1);  // open, with the settings lock of every window
    start();
    for (int i = 0; i < 200; ++i) feed(1, i % 2 ? 300 : -300), feed(2, i % 2 ? 900 : -900);
    const auto& m = panel.model();
    // The detector's texts are the STA average, the LTA average and the ratio.
    const LiveValues v = live_values(recorder->channel(1).detector, 0);
    EXPECT_EQ(m.sta_average + "|" + m.lta_average + "|" + m.sta_lta_ratio + "|" + m.max_noise,
              v.monstart[0] + "|" + v.monstart[1] + "|" + v.monstart[2] + "|00300.000");
    panel.max_noise_clicked();
    EXPECT_EQ(std::pair(recorder->channel(1).detector.max_amplitude, recorder->channel(2).detector.max_amplitude),
              std::pair(0.0, 900.0));

    panel.cancel_clicked();
    EXPECT_TRUE(!open && m.close_requested);
    const int before = notices;
    feed(1, 100);
    EXPECT_EQ(notices, before);  // a closed panel is not updated
}

TEST_F(TriggerPanelTest, TuningIsStoredOnApplyOnlyWhenItCanWorkAndTheRecorderTakesItAtOnce) {
    // Channel 1 at 50 per second: a corner at 25 Hz is refused, naming it,
    // and nothing of the tuning is stored.
    panel.filter_kind_clicked(2);
    panel.set_tuning_field(TuningField::high_corner, "25");
    panel.set_tuning_field(TuningField::duration, "2");
    panel.apply_clicked();
    EXPECT_EQ(dialogs.messages(),
              std::vector<std::string>{"[TRIGGER] HIGH1 refused for channel 1 at 50 samples per second: high corner "
                                       "25 Hz is at or above half the rate (25 Hz) | Trigger tuning refused"});
    EXPECT_TRUE(settings.extra.empty());
    EXPECT_EQ(panel.model().tuning[static_cast<std::size_t>(TuningField::high_corner)], "25");

    panel.set_tuning_field(TuningField::high_corner, "5");
    panel.apply_clicked();
    EXPECT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(settings.extra.format(), "[TRIGGER]\r\nDURATION1=2\r\nFILTER1=LP\r\nHIGH1=5\r\n");
    EXPECT_TRUE(recorder->channel(1).filter.active());
    EXPECT_EQ(recorder->channel(1).duration_samples, 100);
    EXPECT_FALSE(recorder->channel(2).filter.active());
}

}  // namespace
}  // namespace tw::events::testing
