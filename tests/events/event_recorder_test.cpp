#include "recorder_fixture.h"

#include "events/event_texts.h"

#include <algorithm>

namespace tw::events::testing {
namespace {

using Recorder = RecorderFixture;

// Thresholds are strict: a sample at the amplitude threshold restarts the
// count of those over it, a ratio equal to the start or stop ratio neither
// starts an event nor counts as coda.
TEST_F(Recorder, AmplitudeFiresOnTheThirdSampleOverTheThresholdAndEqualRatiosNeitherStartNorStop) {
    start();
    for (const int v : {2000, 2000, 1000, -2000, 2000}) feed(1, v);
    EXPECT_FALSE(active(1));
    feed(1, -2000);
    EXPECT_TRUE(active(1) && panel.man_record[0] == "STOP" && panel.ch_val_color[0] == ch_val_recording_color);

    settings.channel(2).trigger_mode = 1;
    start();
    ChannelEventState& ch = recorder->channel(2);
    ch.detector.sta_lta_ratio = 3;  // start_ratio
    EXPECT_FALSE(recorder->evaluate_trigger(2, 0));
    ch.detector.sta_lta_ratio = 3.000001;
    EXPECT_TRUE(recorder->evaluate_trigger(2, 0));
    recorder->start_event(2, ".000");
    ch.under_stop_count = 10, ch.detector.sta_lta_ratio = 2;  // stop_ratio: no coda
    recorder->record_event_sample(2, 0);
    EXPECT_EQ(ch.under_stop_count, 0);
    ch.detector.sta_lta_ratio = 1.999;
    recorder->record_event_sample(2, 0);
    EXPECT_EQ(ch.under_stop_count, 1);
}

TEST_F(Recorder, AForcedStartWaitsForRecordingAndForTheTimeBase) {
    settings.channel(2).record_enabled = 0, time_base_ready = false;
    start();
    recorder->manual_record(2, true);
    EXPECT_EQ(panel.man_record[1], "REC");  // refused: recording is off
    recorder->channel(2).forced_trigger = start_request;
    recorder->manual_record(1, true);
    for (int i = 0; i < 10; ++i) feed(1, 30000), feed(2, 30000);
    EXPECT_FALSE(active(1) || active(2));
    EXPECT_EQ(recorder->channel(2).forced_trigger, start_request);
    settings.channel(2).record_enabled = 1;
    feed(2, 0);
    EXPECT_FALSE(active(2));
    time_base_ready = true;
    feed(1, 0), feed(2, 0);
    EXPECT_TRUE(active(1) && active(2));
}

TEST_F(Recorder, ExtendedTriggerForcesOnlyEnabledIdleChannels) {
    settings.channel(1).extend_trigger = 1, settings.channel(3).record_enabled = 0;
    start();
    recorder->manual_record(4, true);
    feed(4, 0);
    ASSERT_TRUE(active(4));
    recorder->record_event_sample(4, 0);  // its own request is consumed
    for (int i = 0; i < 3; ++i) feed(1, 5000);
    ASSERT_TRUE(active(1));
    const auto request = [&](int k) { return recorder->channel(k).forced_trigger; };
    EXPECT_EQ(std::tuple(request(2), request(3), request(4)), std::tuple(start_request, no_request, no_request));
    feed(2, 0), feed(3, 0);
    EXPECT_TRUE(active(2) && !active(3));
    EXPECT_NE(recorder->channel(2).event_file_name, recorder->channel(1).event_file_name);
    EXPECT_TRUE(fs::exists(event_path(2)));
}

TEST_F(Recorder, ManualStopEndsTheEventAndSwitchesRecordingOff) {
    std::vector<int> disabled;
    recorder->on_record_disabled = [&](int k) { disabled.push_back(k); };
    start();
    recorder->manual_record(1, false);  // not while acquisition is stopped
    EXPECT_EQ(recorder->channel(1).forced_trigger, no_request);
    recorder->manual_record(1, true);
    EXPECT_EQ(panel.man_record[0], "STOP");
    feed(1, 0);
    ASSERT_TRUE(active(1));
    feed(1, 0);
    recorder->manual_record(1, true);
    EXPECT_EQ(std::pair(panel.man_record[0], recorder->channel(1).forced_trigger), std::pair(std::string("REC"), stop_request));
    feed(1, 0);  // the sample that carries the request is the last one written
    EXPECT_FALSE(active(1));
    EXPECT_EQ(data_lines(event_path(1)).back(), " 0");
    EXPECT_EQ(std::tuple(settings.channel(1).record_enabled, disabled, recorder->channel(1).forced_trigger),
              std::tuple(0, std::vector<int>{1}, no_request));
    recorder->manual_record(1, true);  // recording is off now
    feed(1, 0);
    EXPECT_TRUE(!active(1) && panel.man_record[0] == "REC");
}

TEST_F(Recorder, AnEndlessCodaEndsAfterMaxEventSamplesPlusOne) {
    settings.channel(1).stop_params = "0,0.02,2,1";  // |x| < 0 never: no coda
    config::expand_stop_params(settings.channel(1));
    start();
    recorder->manual_record(1, true);
    for (int fed = 0; fed < 10000 && (fed == 0 || active(1)); ++fed) feed(1, 7);
    EXPECT_FALSE(active(1));
    EXPECT_EQ(recorder->channel(1).event_samples, 3001);
    EXPECT_EQ(data_lines(event_path(1)).size(), 3001u);
    EXPECT_EQ(read_lines(event_path(1))[2], "Number of Samples:  3001      ");
}

TEST_F(Recorder, EndingAnEventLogsTheSummaryAndResetsTheMaxima) {
    settings.general.print_quake = settings.general.send_sms = settings.general.send_mail = 1;
    start();
    for (int i = 0; i < 400; ++i) feed(1, i % 2 ? 300 : -300);
    recorder->manual_record(1, true), recorder->manual_record(2, true);
    feed(1, 0), feed(2, 0);
    ASSERT_TRUE(active(1) && active(2));
    EXPECT_EQ(recorder->channel(1).detector.max_amplitude, 300);  // from before the trigger
    for (int i = 0; i < 60; ++i) feed(1, 0);  // 60 coda samples: the 61st ends the event
    ASSERT_TRUE(active(1));
    feed(1, 0);
    ASSERT_FALSE(active(1));
    EXPECT_TRUE(flags.event_ended_flag && panel.man_record[0] == "REC" && panel.ch_val_color[0] == ch_val_idle_color);
    const ChannelEventState& ch = recorder->channel(1);
    EXPECT_EQ(ch.detector.max_amplitude + ch.detector.max_ratio, 0);

    const std::string samples = fixed_number_text(ch.event_samples, 8, 0);
    const std::string expected =
        "030203.123451.z1 2003/02/03 12:34:51 L:" + samples + " Max SLTA:1.0 Max Amplit:000300";
    EXPECT_EQ(event_list->read_lines(), std::vector<std::string>{"2003/02/03 12:35:00 " + expected});
    // Printed at once; the page is output only when no channel records.
    EXPECT_EQ(std::pair(printer.lines, printer.ended), std::pair(std::vector<std::string>{expected}, 0));
    recorder->stop_run();  // ends channel 2 too
    EXPECT_EQ(std::tuple(printer.lines.size(), printer.ended, printer.jobs), std::tuple(2u, 1, 1));

    const auto sms = read_lines(folder / "sendsms.txt"), mail = read_lines(folder / "sendmail.txt");
    ASSERT_EQ(sms.size() + mail.size(), 4u);
    EXPECT_EQ(sms[0], "2003/02/03 12:34:51 L:" + samples + " Max SLTA:1.0 Max Amplit.:000300");
    EXPECT_EQ(mail[0], "2003/02/03 12:34:51 L:" + samples + " Max SLTA: 1.0 Max Amplit.:000300");
}

// STOP ending an open event is the station's test (tests/app). START finds
// every channel idle; an event somehow still open then is ended the same
// way, never dropped.
TEST_F(Recorder, StartEndsAnEventLeftOpenSoThatNoFileKeepsItsPlaceholder) {
    recorder->manual_record(3, true);
    start();
    EXPECT_EQ(recorder->channel(3).forced_trigger, no_request);
    recorder->manual_record(4, true);
    feed(4, 1), feed(4, 2);
    ASSERT_TRUE(active(4));
    start();
    EXPECT_TRUE(!active(4) && panel.man_record[3] == "REC");
    EXPECT_EQ(read_bytes(event_path(4)).find("%%%%%%%%%%"), std::string::npos);
    EXPECT_EQ(data_lines(event_path(4)).size(), static_cast<std::size_t>(recorder->channel(4).event_samples));
    EXPECT_EQ(event_list->read_lines().size(), 1u);
}

TEST_F(Recorder, TheThresholdAlarmIsRaisedOnlyByRecordedSamples) {
    settings.channel(1).alarm_enabled = 1, settings.channel(1).alarm_threshold = 100;
    start();
    feed(1, 900);
    recorder->manual_record(1, true);
    feed(1, 900);  // the triggering sample belongs to the pre-event section
    feed(1, 100);  // at the threshold: no alarm
    EXPECT_FALSE(flags.threshold_alarm_flag);
    feed(1, -101);
    EXPECT_TRUE(flags.threshold_alarm_flag);
    flags.threshold_alarm_flag = false, settings.channel(1).alarm_enabled = 0;
    feed(1, 5000);
    EXPECT_FALSE(flags.threshold_alarm_flag);
}

TEST_F(Recorder, AMissingEventsFolderIsReportedOnceAndTheNextEventTriesAgain) {
    settings.general.events_folder = (folder / "gone").string();
    start();
    recorder->manual_record(1, true), recorder->manual_record(2, true);
    for (int i = 0; i < 51; ++i) feed(1, i), feed(2, i);
    EXPECT_TRUE(active(1));
    ASSERT_EQ(errors.size(), 2u);  // one per event, not one per sample
    EXPECT_EQ(std::pair(errors[0].error_number, errors[0].location), std::pair(76, location::event_file_open));
    EXPECT_NE(errors[0].detail.find("gone"), std::string::npos);
    recorder->stop_run();
    EXPECT_EQ(event_list->read_lines().size(), 2u);

    fs::create_directories(folder / "gone");
    start();
    recorder->manual_record(1, true);
    feed(1, 0), feed(1, 1);
    recorder->stop_run();
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_EQ(data_lines(event_path(1)).size(), static_cast<std::size_t>(recorder->channel(1).event_samples));
}

}  // namespace
}  // namespace tw::events::testing
