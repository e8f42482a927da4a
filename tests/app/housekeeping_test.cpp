// The housekeeping tick on fakes: the parallel-port watchdog and the
// heartbeat stop with the acquisition loop, the alarm sound alternates, the
// hardware alarm bit follows its three causes, the title takes the free space.

#include "../acquisition/fake_board.h"
#include "app/acquisition_control.h"
#include "app/housekeeping.h"
#include "config/settings_file.h"
#include "station_fixture.h"

#include <gmock/gmock.h>

namespace {

using namespace tw;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class HousekeepingTest : public tw::testing::StationTest {
protected:
    HousekeepingTest() {
        std::filesystem::create_directories(folder_ / "datalog");
        station_ = std::make_unique<app::Station>(
            folder_, app::Services{serial_, clock_, dialogs_, disk_, launcher_, pump_, nullptr,
                                   &ports_, &sound_, nullptr, &scheduler_, &manager_});
    }
    ~HousekeepingTest() override { station_.reset(); }

    // One tick, then the second up to the next one (the pulse ends within it).
    void tick() {
        app::housekeeping_tick(station());
        clock_.advance_ms(app::Housekeeping::pulse_ms);
        scheduler_.run_due();
        clock_.advance_ms(1000 - app::Housekeeping::pulse_ms);
    }
    long count_sent(const std::string& state) const {
        return std::count(manager_.sent.begin(), manager_.sent.end(), state);
    }
    long count_events(const std::string& text) {
        const auto lines = station().event_list.read_lines();
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.ends_with(" " + text); });
    }

    fakes::FakeIoPorts ports_;
    fakes::FakeSound sound_;
    fakes::FakeScheduler scheduler_{clock_};
    fakes::FakeServiceManager manager_;
};

TEST_F(HousekeepingTest, WatchdogsAreFedOnlyWhileTheLoopPasses) {
    auto& g = station().settings.general;
    g.lpt_port = 1;
    g.watchdog_enabled = 1;
    g.watchdog_period = 10;
    g.use_twarden = 1;
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
    EXPECT_EQ(ports_.writes.size(), 6u);
    const auto heartbeat = folder_ / app::files::heartbeat;
    EXPECT_EQ(tw::testing::read_file(heartbeat), "warden\r\n");
    EXPECT_EQ(count_sent("WATCHDOG=1"), 30);

    // Acquisition runs but no pass comes (a run held inside a pass): neither
    // the file, nor the port, nor the service manager hears from it.
    station().run_flags.acquisition_running = 1;
    std::filesystem::remove(heartbeat);
    ports_.writes.clear();
    manager_.sent.clear();
    for (int t = 0; t < 20; ++t) tick();
    EXPECT_FALSE(std::filesystem::exists(heartbeat));
    EXPECT_TRUE(ports_.writes.empty());
    EXPECT_EQ(count_sent("WATCHDOG=1"), 0);

    station().run_flags.loop_alive = 1;  // one pass ran
    tick();
    EXPECT_TRUE(std::filesystem::exists(heartbeat));
    EXPECT_EQ(count_sent("WATCHDOG=1"), 1);
}

TEST_F(HousekeepingTest, AlarmSoundsOneSecondOnOneOffAndAMissingDeviceIsReportedOnce) {
    struct Case {
        bool wav;
        bool device_missing;
        std::vector<bool> alarms;  // threshold_alarm_flag before each tick
        std::vector<int> tones;    // speaker frequencies set, 0 = off
        std::size_t plays;
    };
    const Case cases[] = {
        {false, false, {true, true, true, false, false}, {1566, 0, 1566, 0}, 0},
        {true, false, {true, true, true, false}, {}, 2},
        {true, true, {true, false, true, false, true}, {}, 0},
        {false, true, {true, false, true, false, true}, {}, 0},
    };
    for (const auto& c : cases) {
        station_.reset();
        ports_ = {};
        sound_ = {};
        sound_.fail = ports_.speaker_missing = c.device_missing;
        std::filesystem::remove(folder_ / app::files::event_list);
        station_ = std::make_unique<app::Station>(
            folder_, app::Services{serial_, clock_, dialogs_, disk_, launcher_, pump_, nullptr,
                                   &ports_, &sound_, nullptr, &scheduler_, &manager_});
        station().settings.general.alarm_wav = c.wav ? 1 : 0;
        for (const bool alarm : c.alarms) {
            station().event_flags.threshold_alarm_flag = alarm;
            tick();
            EXPECT_FALSE(station().event_flags.threshold_alarm_flag);
        }
        EXPECT_THAT(ports_.tones, ElementsAreArray(c.tones)) << "wav " << c.wav;
        EXPECT_EQ(sound_.played.size(), c.plays) << "wav " << c.wav;
        if (c.wav && c.plays > 0) {
            EXPECT_EQ(sound_.played[0], folder_ / "alarm.wav");
        }
        const std::string missing = c.wav ? "cannot play " + (folder_ / "alarm.wav").string() +
                                                ": No such file or directory"
                                          : "PC speaker: /dev/console: Permission denied";
        EXPECT_EQ(count_events(missing), c.device_missing ? 1 : 0) << "wav " << c.wav;
    }
}

TEST_F(HousekeepingTest, HardwareAlarmBitFollowsAlarmsLineTwoAndListedEvents) {
    tw::testing::FakeBoard board(serial_);
    auto& s = station();
    config::apply_new_file_values(s.settings, folder_.string());
    s.settings.general.ad_type = config::orda10;
    s.settings.general.ad_serial = "0000A1B2";
    s.settings.general.lpt_port = 2;
    for (int k = 1; k <= 4; ++k) s.settings.channel(k).sps_code = k == 1 ? 11 : 0;
    std::filesystem::create_directories(folder_ / "events");
    ASSERT_EQ(app::start_acquisition(s), acquisition::StartOutcome::running);
    auto second = [&, t = 0](bool l2_low) mutable {
        std::string bytes;
        const auto status = static_cast<std::uint8_t>(l2_low ? 0x00 : 0x10);
        for (const auto b : acquisition::encode_time_packet(12, 0, t++, status))
            bytes += static_cast<char>(b);
        serial_.deliver(bytes + tw::testing::sample_bytes(0, 0, false));
    };
    second(false);
    second(false);  // a sample at a second boundary: the time base is ready

    struct Case {
        int hw_alarm, alarm_on_l2, alarm_on_events;
        bool alarm, event_ended, l2_low;
        bool bit;
    };
    const Case cases[] = {
        {1, 0, 0, true, false, false, true},   // a threshold alarm this tick
        {1, 0, 0, false, false, false, false},
        {1, 1, 0, false, false, true, true},   // line 2 low
        {1, 0, 0, false, false, true, false},  // ... not asked for
        {1, 1, 1, false, true, false, true},   // an event was listed
        {0, 1, 1, true, true, true, false},    // no hardware alarm: bit cleared
        {1, 0, 0, false, true, false, false},
    };
    for (const auto& c : cases) {
        s.settings.general.hw_alarm = c.hw_alarm;
        s.settings.general.alarm_on_l2 = c.alarm_on_l2;
        s.settings.general.alarm_on_events = c.alarm_on_events;
        s.event_flags.event_ended_flag = c.event_ended;
        s.event_flags.threshold_alarm_flag = c.alarm;
        second(c.l2_low);
        tick();
        EXPECT_EQ((ports_.data[2] & 0x02) != 0, c.bit)
            << c.hw_alarm << c.alarm_on_l2 << c.alarm_on_events << c.alarm << c.event_ended
            << c.l2_low;
    }
    // The output unused and its bit clear: the port is left alone.
    s.settings.general.hw_alarm = 0;
    const auto writes = ports_.writes.size();
    tick();
    EXPECT_EQ(ports_.writes.size(), writes);
    EXPECT_EQ(ports_.data[1] | ports_.data[3], 0);
    app::stop_acquisition(s);
}

TEST(HousekeepingTitle, FreeSpaceReplacesTheTitleFromFds) {
    struct Case {
        std::string title;
        std::optional<std::uint64_t> kilobytes;
        std::string shown;
    };
    const Case cases[] = {
        {"TERRAWAVE V.02.22", 123, "TERRAWAVE V.02.22"},
        {"TERRAWAVE V.02.22 - ORDA V.1.80 - FDS:", 9876543,
         "TERRAWAVE V.02.22 - ORDA V.1.80 - FDS: 9876543 Kb"},
        {"T - FDS: 12 Kb", std::nullopt, "T - FDS: N.A."},
        {"T - FDS: N.A.", 0, "T - FDS: 0 Kb"},
    };
    for (const auto& c : cases) EXPECT_EQ(app::title_with_free_space(c.title, c.kilobytes), c.shown);
}

}  // namespace
