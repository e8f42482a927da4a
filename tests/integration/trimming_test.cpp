// The clock trimming measurement against the board simulator, whose sample
// clock runs 500 ppm fast, synchronised every 60 board seconds: 30 board
// minutes through the program's own packet path on a virtual clock (no port,
// no waiting). The simulator's drift is checked here.

#include "acquisition/board_clock.h"
#include "acquisition/clock_trimming.h"
#include "acquisition/packet_decoder.h"
#include "acquisition/sample_path.h"
#include "config/number_text.h"
#include "boardsim/board.h"
#include "boardsim/board_time.h"
#include "fakes/fake_platform.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw::acquisition {
namespace {

class SimulatedTrimming : public ::testing::Test {
protected:
    static constexpr double speed_factor = 50;  // board seconds per (virtual) real second

    SimulatedTrimming() {
        pc.set(2003, 2, 3, 10, 0, 0);
        settings.general.pc_rtc = 1;
        settings.channels[0].sps_code = 11;  // 100 samples per second
        sample_path.start_run(config::orda10, settings);
        board_clock.start_run();
        trimming.activate();
        board_clock.on_sync = [this](const std::string& sync_time) {
            if (trimming.is_open()) trimming.measure_on_sync(sync_time);
        };
    }

    static boardsim::SimulatorOptions board_options() {
        boardsim::SimulatorOptions options;
        options.family = boardsim::Family::orda10;
        options.speed_factor = speed_factor;
        options.drift_ppm = 500;
        options.sync_every = 60;
        options.start_time = boardsim::days_from_civil(2003, 2, 3) * 86400 + 10 * 3600;
        return options;
    }

    // What the program writes goes to the board at the current time.
    bool send(std::string_view bytes) {
        board.receive({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, now, output);
        return true;
    }

    // Runs the board for `board_seconds` and hands every packet to the
    // program's packet path.
    void run_for(double board_seconds) {
        const double end = now + board_seconds / speed_factor;
        while (now < end) {
            now = std::min(end, now + 0.01);
            pc.advance_ms(static_cast<std::int64_t>(0.01 * speed_factor * 1000));
            board.advance(now, output);
            dispatch_output();
        }
    }

    void dispatch_output() {
        // Replies to commands sent while dispatching are handled in turn.
        for (std::size_t i = 0; i < output.size(); ++i) {
            const auto bytes = output[i].view();
            assembler.feed(bytes, [this](const Packet& packet) {
                const DecodedPacket decoded = decode_packet(packet, false);
                if (decoded.status != DecodeStatus::ok) {
                    ++bad_packets;
                    return;
                }
                switch (decoded.type) {
                case PacketType::time: board_clock.handle_time_packet(packet.bytes); break;
                case PacketType::sample:
                    sample_path.take_sample(decoded.sample.channel, decoded.sample.value);
                    break;
                case PacketType::eeprom: trimming.eeprom_reply(decoded.eeprom.value); break;
                case PacketType::unknown: ++bad_packets; break;
                }
            });
        }
        output.clear();
    }

    tw::testing::TestFolder folder;
    fakes::FakeClock pc;
    fakes::FakeDialogs dialogs;
    config::Settings settings;
    supervision::EventList event_list{folder / "evtfile.dat", pc};
    supervision::PanelModel panel;
    SamplePath sample_path;
    int selected_channel = 1;
    bool trim_open = false;

    double now = 0;
    boardsim::Board board{board_options(), *board_options().start_time, 0.0};
    std::vector<boardsim::OutputPacket> output;
    PacketAssembler assembler;
    int bad_packets = 0;

    BoardClock board_clock{BoardClockContext{settings, pc, event_list, panel, sample_path,
                                             [this](std::string_view b) { return send(b); },
                                             folder / "timefile.txt", selected_channel}};
    ClockTrimming trimming{ClockTrimmingContext{
        settings, sample_path, dialogs, trim_open, [] { return std::string("1.40"); },
        [] { return true; }, [this](std::string_view b) { return send(b); }}};
};

TEST_F(SimulatedTrimming, FiveHundredPpmFastBoardGivesNNearTwoThousand) {
    // START: channel 1 at 100 samples per second (divisor 200 / 100).
    send(std::string("DUMMY\x84\x02\x00\x00\x00\x00", 11));
    run_for(30 * 60 + 30);

    const TrimmingModel& m = trimming.model();
    ASSERT_FALSE(m.firsttime.empty());
    ASSERT_FALSE(m.prev_sync.empty());
    const double n = trimming.trim_error();
    EXPECT_NEAR(n, 2000, 20) << "counted " << m.ad_received << " in " << m.ad_tlapsed << " s";
    const double elapsed = std::stod(m.ad_tlapsed);
    EXPECT_GE(elapsed, 29 * 60);
    EXPECT_NEAR(std::stod(m.ad_received) - elapsed * 100, elapsed * 0.05, elapsed * 0.0005);
    EXPECT_EQ(m.trimmevery, config::plain_number(n));
    EXPECT_EQ(m.dataset, eeprom_image(n));
    EXPECT_EQ(bad_packets, 0);
    EXPECT_EQ(board_clock.sync().lock_state, "L");

    // The measured value written and read back through the running board.
    trimming.set_trim_data_clicked();
    trimming.eeread_clicked();
    run_for(5);
    const std::string image = m.dataset;  // "XX b1 b2 b3 01 XX XX XX XX"
    ASSERT_EQ(m.eeprom.size(), 27u) << m.eeprom;
    EXPECT_EQ(m.eeprom.substr(3, 12), " " + image.substr(3, 11));
}

}  // namespace
}  // namespace tw::acquisition
