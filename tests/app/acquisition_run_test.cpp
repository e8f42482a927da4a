// The acquisition run on a station of fakes with a scripted board: START
// and its board preparation, the loop on port events and ticks, restarts,
// a lost port, bad input and STOP. The housekeeping tick: the watchdogs stop
// with the acquisition loop, the alarm sound alternates, the alarm bit
// follows its causes, the title.

#include "../acquisition/fake_board.h"
#include "app/acquisition_control.h"
#include "app/housekeeping.h"
#include "config/settings_file.h"
#include "station_fixture.h"

#include <gmock/gmock.h>

#include <cstring>
#include <random>

namespace {

using namespace tw;
using acquisition::StartOutcome;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
namespace command = acquisition::board_command;
using Sample = std::pair<int, std::int32_t>;

class RunTest : public tw::testing::StationTest {
protected:
    void SetUp() override {
        use_fake_board_settings();
        set_rates(11, 11, 11, 11);  // 100 samples per second
    }
    // Records the samples instead of showing them in the monitors.
    void capture_samples() {
        station().sample_path.set_sample_hook([this](const acquisition::SampleOutput& out) {
            if (out.full) samples_.push_back({out.channel, out.sample_value});
        });
    }

    StartOutcome start() { return app::start_acquisition(station()); }
    void tick(int seconds = 1) {
        for (int i = 0; i < seconds; ++i) {
            clock_.advance_ms(1000);
            app::housekeeping_tick(station());
        }
    }
    void set_rates(int c1, int c2, int c3, int c4) {
        for (int k = 1; const int code : {c1, c2, c3, c4}) station().settings.channel(k++).sps_code = code;
    }
    void deliver_sample(int channel, std::int32_t value) {
        serial_.deliver(tw::testing::sample_bytes(channel, value, station().settings.general.ad_type == config::orda20));
    }
    const std::vector<std::string>& warnings() { return warnings_ = texts_of("warning"); }

    tw::testing::FakeBoard board_{serial_};
    std::vector<Sample> samples_;
    std::vector<std::string> warnings_;
};

TEST_F(RunTest, StartSendsTheDivisorsOfTheBoardAndTheWindowShowsTheRun) {
    station().settings.general.ad_type = config::orda20;
    board_.version = "V180";
    set_rates(1, 5, 11, 12);  // 1SPM, 2, 100, 200
    ASSERT_EQ(start(), StartOutcome::running);
    EXPECT_EQ(board_.starts, std::vector<std::string>{std::string("DUMMY\x84\x32\x32\x01\x01\0", 11)});
    // The board runs at most 100 per second: channel 4 runs, and is filed,
    // at 100, and the first of the two channels at 100 is the fastest.
    const auto& c4 = station().settings.channel(4);
    EXPECT_EQ(c4.sps_code, config::sps_code_100);
    EXPECT_EQ(c4.max_event_samples, std::min(100 * c4.max_event_minutes * 60, 1e6));
    EXPECT_EQ(station().acquisition.fastest_channel(), 2);
    EXPECT_THAT(event_texts(), ElementsAre("START with ORDA10 V180",
                                           "channel 4: this board runs at most 100 samples per second"));
    const auto& panel = station().panel;
    EXPECT_EQ(panel.title, "TERRAWAVE V.02.22 - ORDA V.1.80 - FDS:");
    EXPECT_EQ(std::vector<bool>({panel.start_enabled, panel.stop_enabled, panel.exit_enabled, panel.logging_enabled,
                                 panel.sps_select_enabled, panel.lbl_service_visible}),
              std::vector<bool>({false, true, false, false, false, false}));
    EXPECT_EQ(station().settings.general.auto_start, 1);
    EXPECT_TRUE(warnings().empty());
    // Samples flow into the monitors as 18-bit values, conditioned: clipped
    // one count inside the board's range.
    deliver_sample(2, -131072);
    deliver_sample(3, 131071);
    deliver_sample(1, -70000);
    EXPECT_EQ(std::vector<std::string>(panel.ch_val.begin() + 1, panel.ch_val.end()),
              (std::vector<std::string>{"-70000", "-131070", "131070"}));
    EXPECT_EQ(panel.badrx, "0");
}

// What START finds in the board's EEPROM against the settings, and what it
// does: each case from a fresh event list; the fake answers No unless told.
TEST_F(RunTest, TrimmingAndSerialNumberAreCheckedRestoredAndRegistered) {
    const struct Case {
        const char *what, *trim_setting, *serial_setting;
        bool accepts_trim, answer_yes;
        const char *trim_after, *serial_after, *board_trim;
        std::vector<std::string> events;
        const char* first_dialog;  // "kind|title|text", or "" for none
    } cases[] = {
        {"altered", "12345678", "0000A1B2", true, false, "12345678", "0000A1B2", "12345678",
         {"Clock trimming found altered (FFFFFF02).", "Clock trimming corrected to: 12345678"}, ""},
        {"will not stick: tried twice", "12345678", "0000A1B2", false, false, "12345678", "0000A1B2", "FFFFFF02",
         {"Clock trimming found altered (FFFFFF02).", "Problem with clock trimming correction. Check your system."}, ""},
        {"other letters", "ffffff02", "0000A1B2", true, false, "ffffff02", "0000A1B2", "FFFFFF02", {}, ""},
        {"first use", "1234", "", true, false, "FFFFFF02", "0000A1B2", "FFFFFF02",
         {"Startup INI inizialization. c/t:FFFFFF02 s/n:0000"},
         "message||Remember to check the H/W Setup, \r\nthen Apply and SAVE parameter."},
        {"other board, No", "12345678", "11112222", true, false, "12345678", "11112222", "FFFFFF02", {},
         "question|Serial number mismatch|The connected a/d board is not registered as operative a/d "
         "board.\r\nDo you want to confirm it as operative a/d board?"},
        {"other board, Yes", "FFFFFF02", "11112222", true, true, "FFFFFF02", "0000A1B2", "FFFFFF02",
         {"s/n:0000 is now operative"}, "question|Serial number mismatch|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto& general = station().settings.general;
        general.clock_trim = c.trim_setting, general.ad_serial = c.serial_setting;
        board_.set_trim(0xFF, 0xFF, 0xFF, 0x02);
        board_.accepts_trim = c.accepts_trim;
        dialogs_.shown.clear();
        dialogs_.answers = {c.answer_yes};
        station().event_list.clear();
        serial_.clear_written();
        ASSERT_EQ(start(), StartOutcome::running);
        EXPECT_EQ(std::tuple(general.clock_trim, general.ad_serial, board_.trim_text()),
                  std::tuple(std::string(c.trim_after), std::string(c.serial_after), std::string(c.board_trim)));
        auto events = c.events;
        events.insert(events.begin(), "Event list.");
        events.push_back("START with ORDA10 V140");
        EXPECT_EQ(event_texts(), events);
        if (*c.first_dialog) {
            ASSERT_FALSE(dialogs_.shown.empty());
            const auto& shown = dialogs_.shown[0];
            const std::string kind_title_text = shown.kind + "|" + (shown.kind == "message" ? "" : shown.title) + "|";
            EXPECT_EQ((kind_title_text + shown.text).substr(0, std::strlen(c.first_dialog)), c.first_dialog);
        }
        const auto writes = std::count(serial_.writes().begin(), serial_.writes().end(),
                                       std::string("\x85\x12\x34\x56\x78\0", 6));
        EXPECT_EQ(writes, c.trim_setting == std::string("12345678") && c.serial_setting == std::string("0000A1B2")
                              ? (c.accepts_trim ? 1 : 2) : 0);
        app::stop_acquisition(station());
    }
    EXPECT_EQ(dialogs_.shown.back().title, "New a/d board");
}

TEST_F(RunTest, UnreadableEepromStartsAnywayWithAWarningAndNoBoardGivesCardNotFoundAndNoRun) {
    board_.mute_addresses = {18};
    ASSERT_EQ(start(), StartOutcome::running);
    EXPECT_THAT(event_texts(), ElementsAre("Board not correctly initialized, START continue...",
                                           "START with ORDA10 V140"));
    ASSERT_EQ(warnings().size(), 1u);
    EXPECT_EQ(warnings_[0],
              "A/D Board not correctly initialized.\r\nCheck your system and retry.\r\nDatalogging "
              "START will be attempted.");
    EXPECT_EQ(station().settings.general.ad_serial, "0000A1B2");
    EXPECT_EQ(board_.starts.size(), 1u);
    app::stop_acquisition(station());

    // No board at all: card not found, and no run.
    station().event_list.clear();
    dialogs_.shown.clear();
    board_.answers = false;
    ASSERT_EQ(start(), StartOutcome::board_not_found);
    const auto lines = event_texts();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "A/D card not found at startup check"), 4);
    EXPECT_THAT(lines, Contains("Board not correctly initialized, START continue..."));
    EXPECT_EQ(lines.back(), "START with ORDA10 ");
    ASSERT_EQ(warnings().size(), 2u);
    EXPECT_TRUE(warnings_[0].starts_with("A/D Board not correctly initialized."));
    EXPECT_TRUE(warnings_[1].starts_with("A/D card not found\r\nCheck your cable and COM setting"));
    EXPECT_TRUE(warnings_[1].ends_with("   COM4 ADDR:02E8  IRQ:3"));
    EXPECT_EQ(station().settings.general.auto_start, 0);
    EXPECT_TRUE(station().panel.start_enabled && !station().panel.stop_enabled);
    EXPECT_FALSE(serial_.is_open() || app::acquisition_active(station()));
    EXPECT_EQ(station().run_flags.acquisition_running, 0);
}

TEST_F(RunTest, PreStartChecksRefuseEqualExtensionsBeforeTheBoardIsTouchedAndMakeAMissingEventsFolder) {
    station().settings.channel(2).file_extension = "z1";
    station().settings.channel(4).file_extension = "Z1";
    EXPECT_EQ(start(), StartOutcome::refused);
    EXPECT_EQ(dialogs_.messages(), std::vector<std::string>{
        "File extensions mismatch for channel 2 and 4. Check [f.extens.] field and retry. | Error."});
    EXPECT_EQ(board_.identifies, 0);
    EXPECT_TRUE(station().panel.start_enabled);

    // A missing events folder is created on Yes and only warned about on No.
    station().settings.channel(2).file_extension = "z2";
    dialogs_.shown.clear();
    const auto folder = folder_ / "elsewhere";
    station().settings.general.events_folder = folder.string();
    dialogs_.answers = {true};
    ASSERT_EQ(start(), StartOutcome::running);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(dialogs_.shown[0].text, "The event folder " + folder.string() +
                                          " named on HW Setup doesn't exists!\r\nDo you want to "
                                          "create it?");
    app::stop_acquisition(station());

    std::filesystem::remove(folder);
    dialogs_.shown.clear();
    dialogs_.answers = {false};
    ASSERT_EQ(start(), StartOutcome::running);
    EXPECT_FALSE(std::filesystem::exists(folder));
    ASSERT_EQ(dialogs_.shown.size(), 2u);
    EXPECT_EQ(dialogs_.shown[1].text, "The program will crash at first event recording.");
    EXPECT_EQ(dialogs_.shown[1].title, "ERROR!");
}

TEST_F(RunTest, SilentBoardIsRestartedByTheTickAndSamplesFlowAgain) {
    capture_samples();
    ASSERT_EQ(start(), StartOutcome::running);
    deliver_sample(0, 100);
    // A board that keeps sending is never restarted.
    for (int i = 0; i < 8; ++i) {
        tick();
        deliver_sample(1, i);
    }
    EXPECT_EQ(board_.starts.size(), 1u);

    tick(4);  // four seconds of silence: not yet
    EXPECT_EQ(board_.starts.size(), 1u);
    tick();  // five
    ASSERT_EQ(board_.starts.size(), 2u);
    EXPECT_EQ(board_.starts[1], board_.starts[0]);
    EXPECT_THAT(event_texts(), Contains("Warning! A/D card restarted."));
    EXPECT_EQ(station().run_flags.restart_request, false);

    samples_.clear();
    deliver_sample(2, -7);
    EXPECT_THAT(samples_, ElementsAre(Sample{2, -7}));
    // And a board silent for good is restarted every five seconds.
    tick(10);
    EXPECT_EQ(board_.starts.size(), 4u);
}

TEST_F(RunTest, UnpluggedPortIsLoggedOnceThenReopenedAndTheBoardRestarted) {
    ASSERT_EQ(start(), StartOutcome::running);
    deliver_sample(0, 1);
    serial_.unplug();
    serial_.make_open_fail(0, "cannot open /dev/ttyS0: No such file or directory");
    tick(12);
    auto lines = event_texts();
    EXPECT_EQ(lines.back(),
              "Lost the connection to /dev/ttyS0: the device hung up (unplugged or closed)");
    EXPECT_EQ(lines.size(), 2u);  // no restart warnings while the port is away
    EXPECT_EQ(board_.starts.size(), 1u);
    EXPECT_EQ(station().error_report.count(), 0);

    serial_.clear_open_failures();
    tick();
    lines = event_texts();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Serial port /dev/ttyS0 reopened.");
    EXPECT_EQ(lines[3], "Warning! A/D card restarted.");
    EXPECT_EQ(board_.starts.size(), 2u);
    EXPECT_TRUE(serial_.is_open());
    deliver_sample(3, 42);
    EXPECT_EQ(station().panel.ch_val[3], "42");
}

TEST_F(RunTest, RandomBytesAreCountedOnBadrxAndDecodingResynchronises) {
    capture_samples();
    ASSERT_EQ(start(), StartOutcome::running);
    // Random bytes with no sample-packet type among them: whatever ends at a
    // terminator is one bad packet and no sample comes out of them.
    std::mt19937 random(7);
    std::string noise;
    for (int i = 0; i < 20000; ++i) {
        const auto b = static_cast<std::uint8_t>(random());
        noise += static_cast<char>(b >= 0x81 && b <= 0x86 ? 0x40 : b);
    }
    noise += '\xF0';
    serial_.deliver(noise);
    EXPECT_TRUE(samples_.empty());
    const auto terminators = std::count_if(noise.begin(), noise.end(), [](char c) { return (c & 0xF0) == 0xF0; });
    EXPECT_EQ(station().panel.badrx, std::to_string(terminators));

    // Decoding picks up again at the next good packet.
    deliver_sample(1, -1);
    EXPECT_THAT(samples_, ElementsAre(Sample{1, -1}));
}

TEST_F(RunTest, StopStopsTheOrdaBoardAndRestoresTheWindowButNotTheLockedControlsAndTheTickStartsAgain) {
    ASSERT_EQ(start(), StartOutcome::running);
    deliver_sample(0, 1);
    serial_.feed(tw::testing::sample_bytes(0, 2, false));
    app::stop_acquisition(station());
    EXPECT_EQ(serial_.writes().back(), command::stop());
    EXPECT_EQ(event_texts().back(), "STOP");
    EXPECT_FALSE(serial_.is_open());
    const auto& panel = station().panel;
    EXPECT_EQ(std::vector<bool>({panel.start_enabled, panel.stop_enabled, panel.exit_enabled, panel.logging_enabled,
                                 panel.sps_select_enabled, panel.utc_clock.empty()}),
              std::vector<bool>({true, false, true, true, true, true}));
    EXPECT_EQ(station().settings.general.auto_start + station().run_flags.acquisition_running, 0);
    // Nothing runs after STOP.
    tick(10);
    EXPECT_EQ(board_.starts.size(), 1u);
    EXPECT_EQ(event_texts().back(), "STOP");

    station().settings.general.settings_locked = 1;
    ASSERT_EQ(start(), StartOutcome::running);
    app::stop_acquisition(station());
    EXPECT_FALSE(panel.logging_enabled || panel.sps_select_enabled);

    // An automatic start (2) comes from the tick.
    station().settings.general.auto_start = 2;
    tick();
    EXPECT_TRUE(app::acquisition_active(station()));
    EXPECT_EQ(station().settings.general.auto_start, 1);
    EXPECT_EQ(board_.starts.size(), 3u);
}

TEST_F(RunTest, StopWhileTheBoardIsPreparedEndsTheRunAtOnce) {
    board_.answers = false;
    const auto begin = clock_.monotonic_ms();
    pump_.on_process = [&] {
        if (clock_.monotonic_ms() - begin > 2000) app::stop_acquisition(station());
    };
    EXPECT_EQ(start(), StartOutcome::stopped);
    pump_.on_process = nullptr;
    EXPECT_LT(clock_.monotonic_ms() - begin, 4000);
    EXPECT_TRUE(board_.starts.empty());
    EXPECT_EQ(event_texts().back(), "STOP");
    EXPECT_TRUE(warnings().empty());
    EXPECT_TRUE(station().panel.start_enabled);
    EXPECT_FALSE(app::acquisition_active(station()));
}

TEST_F(RunTest, InfiltecLinesBecomeSamplesAndStopSendsNothing) {
    capture_samples();
    station().settings.general.ad_type = config::infiltec;
    ASSERT_EQ(start(), StartOutcome::running);
    EXPECT_EQ(serial_.opened_settings.back(), "9600,n,8,1");
    EXPECT_EQ(serial_.read_length(), 8);
    EXPECT_THAT(event_texts(), ElementsAre("START with Infiltec at 9600,n,8,1 "));
    EXPECT_EQ(station().panel.title, "TERRAWAVE V.02.22 - Infiltec at 9600,n,8,1  - FDS:");
    EXPECT_FALSE(station().panel.sps_select_enabled);

    serial_.deliver("123\r-45\r");  // a time packet first, then the values
    EXPECT_THAT(samples_, ElementsAre(Sample{0, 123}, Sample{0, -45}));
    // Many short lines at once are all worked off.
    std::string burst;
    for (int i = 0; i < 60; ++i) burst += std::to_string(i % 10) + "\r";
    serial_.deliver(burst);
    EXPECT_EQ(samples_.size(), 62u);

    app::stop_acquisition(station());
    EXPECT_TRUE(serial_.writes().empty());  // the board gets no command at all
    EXPECT_EQ(event_texts().back(), "STOP");
    EXPECT_FALSE(station().panel.sps_select_enabled);
}

TEST_F(RunTest, Lx1500IsStartedWithItsSequenceRestartedStoppedWithStbyAndItsEarlyBytesWaitForTheLoop) {
    capture_samples();
    station().settings.general.ad_type = config::lx1500;
    ASSERT_EQ(start(), StartOutcome::running);
    EXPECT_THAT(board_.text_commands, ElementsAre("G0T1", "STBY", "G0T1", "G0T1", "DONE"));
    EXPECT_EQ(serial_.opened_settings.back(), "19200,n,8,1");
    serial_.deliver("32768S32800A");
    EXPECT_THAT(samples_, ElementsAre(Sample{0, 0}, Sample{0, 32}));

    tick(5);
    EXPECT_EQ(board_.text_commands.size(), 10u);
    EXPECT_THAT(event_texts(), Contains("Warning! Acquisition restarted."));

    app::stop_acquisition(station());
    EXPECT_EQ(serial_.writes().back(), "STBY");
    EXPECT_EQ(event_texts().back(), "STOP");

    // Bytes arriving during the start sequence wait for the loop.
    samples_.clear();
    int delivered = 0;
    pump_.on_process = [&] {
        // The board talks while the sequence waits; no pass runs in between.
        if (delivered < 3 && serial_.is_open()) {
            ++delivered;
            serial_.deliver("100S");
            EXPECT_TRUE(samples_.empty());
        }
    };
    ASSERT_EQ(start(), StartOutcome::running);
    pump_.on_process = nullptr;
    EXPECT_TRUE(samples_.empty());  // flushed at the end of the sequence
    serial_.deliver("32769S");
    EXPECT_THAT(samples_, ElementsAre(Sample{0, 1}));
}

class HousekeepingTest : public tw::testing::StationTest {
protected:
    HousekeepingTest() { make_station(); }
    ~HousekeepingTest() override { station_.reset(); }
    void make_station() {
        station_.reset();
        std::filesystem::create_directories(folder_);
        station_ = std::make_unique<app::Station>(
            folder_, app::Services{serial_, clock_, dialogs_, disk_, launcher_, pump_, nullptr,
                                   &ports_, &sound_, nullptr, &scheduler_, &manager_});
    }
    // One tick, then the second up to the next one (the pulse ends within it).
    void tick() {
        app::housekeeping_tick(station());
        scheduler_.run_all();
        clock_.advance_ms(1000);
    }
    long watchdogs() const { return std::count(manager_.sent.begin(), manager_.sent.end(), "WATCHDOG=1"); }

    fakes::FakeIoPorts ports_;
    fakes::FakeSound sound_;
    fakes::FakeScheduler scheduler_;
    fakes::FakeServiceManager manager_;
};

TEST_F(HousekeepingTest, WatchdogsAreFedOnlyWhileTheLoopPasses) {
    auto& g = station().settings.general;
    g.lpt_port = 1;
    g.watchdog_enabled = g.use_twarden = 1;
    g.watchdog_period = 10;
    ports_.data[1] = 0x82;  // the alarm bit and an outside bit stay as they are
    std::vector<int> pulses;
    for (int t = 1; t <= 30; ++t) {
        const auto before = ports_.writes.size();
        tick();
        for (auto i = before; i < ports_.writes.size(); ++i)
            if (ports_.writes[i].second & 0x01) pulses.push_back(t);
        EXPECT_EQ(ports_.data[1], 0x82) << "tick " << t;
    }
    EXPECT_THAT(pulses, ElementsAre(7, 17, 27));
    const auto heartbeat = folder_ / app::files::heartbeat;
    EXPECT_EQ(tw::testing::read_file(heartbeat), "warden\r\n");
    EXPECT_EQ(watchdogs(), 30);

    // Acquisition runs but no pass comes (a run held inside a pass).
    station().run_flags.acquisition_running = 1;
    std::filesystem::remove(heartbeat);
    ports_.writes.clear();
    manager_.sent.clear();
    for (int t = 0; t < 20; ++t) tick();
    EXPECT_FALSE(std::filesystem::exists(heartbeat));
    EXPECT_TRUE(ports_.writes.empty());
    EXPECT_EQ(watchdogs(), 0);
}

TEST_F(HousekeepingTest, AlarmSoundsOneSecondOnOneOffAndAMissingDeviceIsReportedOnce) {
    struct Case {
        bool wav, missing;
        std::vector<int> tones;  // speaker frequencies set, 0 = off
        std::size_t plays;
    } const cases[] = {
        {false, false, {1566, 0, 1566, 0}, 0},
        {true, false, {}, 2},
        {true, true, {}, 0},
    };
    for (const auto& c : cases) {
        ports_ = {}, sound_ = {};
        sound_.fail = ports_.speaker_missing = c.missing;
        std::filesystem::remove(folder_ / app::files::event_list);
        make_station();
        station().settings.general.alarm_wav = c.wav;
        for (const bool alarm : {true, true, true, false, false}) {
            station().event_flags.threshold_alarm_flag = alarm;
            tick();
            EXPECT_FALSE(station().event_flags.threshold_alarm_flag);
        }
        EXPECT_THAT(ports_.tones, ElementsAreArray(c.tones)) << c.wav;
        EXPECT_EQ(sound_.played.size(), c.plays) << c.wav;
        // The missing device is named once, however often it was tried.
        EXPECT_EQ(station().event_list.read_lines().size(), c.missing ? 1u : 0u) << c.wav;
    }
}

TEST_F(HousekeepingTest, HardwareAlarmBitFollowsAlarmsLineTwoAndListedEvents) {
    tw::testing::FakeBoard board(serial_);
    auto& s = station();
    use_fake_board_settings();
    s.settings.general.lpt_port = 2;
    for (int k = 1; k <= 4; ++k) s.settings.channel(k).sps_code = k == 1 ? 11 : 0;
    ASSERT_EQ(app::start_acquisition(s), acquisition::StartOutcome::running);
    auto second = [&, t = 0](bool l2_low) mutable {
        std::string bytes;
        for (const auto b : acquisition::encode_time_packet(12, 0, t++, l2_low ? 0x00 : 0x10))
            bytes += static_cast<char>(b);
        serial_.deliver(bytes + tw::testing::sample_bytes(0, 0, false));
    };
    second(false), second(false);  // a sample at a second boundary: the time base is ready

    struct Case {
        int hw_alarm, alarm_on_l2, alarm_on_events;
        bool alarm, event_ended, l2_low, bit;
    } const cases[] = {
        {1, 0, 0, true, false, false, true},  // a threshold alarm this tick
        {1, 1, 0, false, false, true, true},   // line 2 low
        {1, 0, 0, false, false, true, false},  // ... not asked for
        {1, 1, 1, false, true, false, true},   // an event was listed
        {0, 1, 1, true, true, true, false},    // no hardware alarm: bit cleared
        {1, 0, 0, false, true, false, false},
    };
    for (const auto& c : cases) {
        auto& g = s.settings.general;
        std::tie(g.hw_alarm, g.alarm_on_l2, g.alarm_on_events) =
            std::tie(c.hw_alarm, c.alarm_on_l2, c.alarm_on_events);
        std::tie(s.event_flags.event_ended_flag, s.event_flags.threshold_alarm_flag) =
            std::tie(c.event_ended, c.alarm);
        second(c.l2_low);
        tick();
        EXPECT_EQ((ports_.data[2] & 0x02) != 0, c.bit) << &c - cases;
    }
}

TEST(HousekeepingTitle, FreeSpaceReplacesTheTitleFromFds) {
    EXPECT_EQ(app::title_with_free_space("TERRAWAVE V.02.22", 123), "TERRAWAVE V.02.22");
    EXPECT_EQ(app::title_with_free_space("T - ORDA V.1.80 - FDS:", 9876543),
              "T - ORDA V.1.80 - FDS: 9876543 Kb");
    EXPECT_EQ(app::title_with_free_space("T - FDS: 12 Kb", std::nullopt), "T - FDS: N.A.");
}

}  // namespace
