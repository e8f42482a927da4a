// The housekeeping tick on fakes: the watchdogs stop with the acquisition loop,
// the alarm sound alternates, the alarm bit follows its causes, the title.

#include "../acquisition/fake_board.h"
#include "app/acquisition_control.h"
#include "config/settings_file.h"
#include "station_fixture.h"

#include <gmock/gmock.h>

namespace {

using namespace tw;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

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
