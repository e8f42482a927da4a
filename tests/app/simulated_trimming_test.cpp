// The clock trimming measured by the station on the simulator's board
// object, whose sample clock runs 500 ppm fast, synchronised every 60 board
// seconds: 30 board minutes on the fake clock, the board's bytes through the
// station's own port handling, packet path and clock windows. The
// simulator's drift is checked here.

#include "app/acquisition_control.h"
#include "boardsim/board.h"
#include "boardsim/board_time.h"
#include "config/number_text.h"
#include "station_fixture.h"

namespace {

using namespace tw;

class SimulatedTrimmingTest : public tw::testing::StationTest {
protected:
    static boardsim::SimulatorOptions options() {
        boardsim::SimulatorOptions o;
        o.family = boardsim::Family::orda10;
        o.drift_ppm = 500, o.sync_every = 60;
        o.start_time = boardsim::days_from_civil(2003, 2, 3) * 86400 + 10 * 3600;
        return o;
    }
    SimulatedTrimmingTest() {
        serial_.on_write = [this](std::string_view b) {
            board_.receive({reinterpret_cast<const std::uint8_t*>(b.data()), b.size()}, now(), out_);
        };
        pump_.on_process = [this] { run_board(); };  // the board answers while the station waits
    }
    double now() const { return static_cast<double>(clock_.monotonic_ms() - start_ms_) / 1000; }
    // The board up to the fake clock's time, its bytes to the port.
    void run_board() {
        board_.advance(now(), out_);
        std::string bytes;
        for (const auto& packet : out_) bytes.append(reinterpret_cast<const char*>(packet.bytes.data()), packet.size);
        out_.clear();
        if (!bytes.empty()) serial_.deliver(bytes);
    }
    void run_for(int seconds) {
        for (int step = 0; step < seconds * 50; ++step) {
            clock_.advance_ms(20);
            run_board();
        }
    }

    const std::int64_t start_ms_ = clock_.monotonic_ms();
    boardsim::Board board_{options(), *options().start_time, 0.0};
    std::vector<boardsim::OutputPacket> out_;
};

TEST_F(SimulatedTrimmingTest, FiveHundredPpmFastBoardGivesNNearTwoThousandWrittenAndReadBack) {
    use_fake_board_settings();
    station().settings.general.clock_trim = "FFFFFF02";  // the simulated board's
    for (int k = 1; k <= 4; ++k) station().settings.channel(k).sps_code = k == 1 ? 11 : 0;  // 100 per second
    ASSERT_EQ(app::start_acquisition(station()), acquisition::StartOutcome::running);
    auto& trimming = station().trimming;
    trimming.activate();
    run_for(30 * 60 + 30);

    const acquisition::TrimmingModel& m = trimming.model();
    ASSERT_FALSE(m.firsttime.empty() || m.prev_sync.empty());
    const double n = trimming.trim_error();
    EXPECT_NEAR(n, 2000, 20) << "counted " << m.ad_received << " in " << m.ad_tlapsed << " s";
    const double elapsed = std::stod(m.ad_tlapsed);
    EXPECT_GE(elapsed, 29 * 60);
    EXPECT_NEAR(std::stod(m.ad_received) - elapsed * 100, elapsed * 0.05, elapsed * 0.0005);
    EXPECT_EQ(m.trimmevery, config::plain_number(n));
    EXPECT_EQ(m.dataset, acquisition::eeprom_image(n));
    EXPECT_EQ(station().panel.badrx, "0");
    EXPECT_EQ(station().board_clock.sync().lock_state, "L");

    // The measured value written and read back through the running board.
    trimming.set_trim_data_clicked();
    trimming.eeread_clicked();
    run_for(5);
    ASSERT_EQ(m.eeprom.size(), 27u) << m.eeprom;  // "XX b1 b2 b3 01 XX XX XX XX"
    EXPECT_EQ(m.eeprom.substr(3, 12), " " + m.dataset.substr(3, 11));
}

}  // namespace
