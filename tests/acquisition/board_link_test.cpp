// The board link on a scripted port: speed search, identification, EEPROM
// exchanges, the command bytes and the waits.

#include "acquisition/board_link.h"
#include "clock_station.h"
#include "fake_board.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_serial_port.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace tw;
using acquisition::BoardLink;
namespace command = acquisition::board_command;

class BoardLinkTest : public ::testing::Test {
protected:
    ~BoardLinkTest() override { std::filesystem::remove_all(folder_); }
    std::vector<std::string> event_lines() const {
        std::vector<std::string> texts;
        for (const auto& line : events_.read_lines()) texts.push_back(line.substr(20));
        return texts;
    }

    std::filesystem::path folder_ = acquisition::clock_testing::ClockStation::fresh_folder();
    fakes::FakeClock clock_;
    fakes::FakeEventPump pump_{clock_};
    fakes::FakeSerialPort serial_;
    fakes::FakeDialogs dialogs_;
    supervision::EventList events_{folder_ / "evtfile.dat", clock_};
    supervision::ErrorReport errors_{clock_, pump_};
    int error_location_ = 0;
    BoardLink link_{{serial_, clock_, pump_, dialogs_, events_, errors_, error_location_}};
    tw::testing::FakeBoard board_{serial_};
};

TEST(BoardCommands, AreTheProtocolBytesAndHexTexts) {
    EXPECT_EQ(command::identify(), std::string("@@@@@@@\x81\0\0\0\0\0", 13));
    EXPECT_EQ(command::stop(), std::string("\x84\0\0\0\0\0", 6));
    EXPECT_EQ(command::start(std::string("\x32\x32\x01\x01", 4)),
              std::string("DUMMY\x84\x32\x32\x01\x01\0", 11));
    EXPECT_EQ(command::read_eeprom(17), std::string("\x86\x11\0\0\0\0", 6));
    EXPECT_EQ(command::write_trim({0x12, 0xF0, 0x00, 0x86}), std::string("\x85\x12\xF0\0\x86\0", 6));
    EXPECT_EQ(command::set_time_zone(-1), std::string("\x82\xFF\xFF\xFF\xFF\xFF", 6));
    EXPECT_EQ(command::set_time_zone(-12), std::string("\x82\xF4\xF4\xF4\xF4\xF4", 6));
    EXPECT_EQ(command::set_time_zone(2), std::string("\x82\x02\x02\x02\x02\x02", 6));
    EXPECT_EQ(command::set_clock(23, 59, 58), std::string("\x83\x3A\x3B\x17\0\0", 6));

    EXPECT_EQ(acquisition::hex_byte(0x0A) + acquisition::hex_byte(0xF0), "0AF0");
    std::array<std::uint8_t, 4> bytes{};
    ASSERT_TRUE(acquisition::parse_hex_bytes("ffFF0a02", &bytes));
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0x0A, 0x02}));
    for (const char* bad : {"FFFFFF0", "FFFFFF0G", " FFFFFF0"})
        EXPECT_FALSE(acquisition::parse_hex_bytes(bad, &bytes)) << bad;
}

TEST_F(BoardLinkTest, BoardAnsweringOnlyAt14400IsFoundOnTheSecondAttemptPastOldBytes) {
    board_.speeds = {"14400,n,8,1"};
    board_.version = "V180";
    // Packets of a board still sampling, and a stray "V" among them.
    board_.noise_before_reply = std::string("\x82\x10\x22\xF1\x81V\x01\xF0\x83", 9);
    const auto start = clock_.monotonic_ms();
    EXPECT_EQ(link_.open_board_port(), "V180");
    EXPECT_EQ(board_.identify_speeds,
              (std::vector<std::string>{"38400,n,8,1", "14400,n,8,1"}));
    EXPECT_TRUE(serial_.is_open());
    EXPECT_EQ(serial_.line_settings(), "14400,n,8,1");
    // The first attempt waited for four changes of the PC second.
    EXPECT_GE(clock_.monotonic_ms() - start, 3000);
    EXPECT_LT(clock_.monotonic_ms() - start, 5000);
    EXPECT_EQ(error_location_, BoardLink::error_location_port_open);
}

TEST_F(BoardLinkTest, NoBoardGivesEmptyReplyAfterFiveAttemptsAtAlternatingSpeeds) {
    board_.answers = false;
    const auto start = clock_.monotonic_ms();
    EXPECT_EQ(link_.open_board_port(), "");
    EXPECT_EQ(board_.identify_speeds,
              (std::vector<std::string>{"38400,n,8,1", "14400,n,8,1", "38400,n,8,1",
                                        "14400,n,8,1", "38400,n,8,1"}));
    const auto waited = clock_.monotonic_ms() - start;
    EXPECT_GE(waited, 15000);
    EXPECT_LE(waited, 21000);
}

TEST_F(BoardLinkTest, PortThatDoesNotOpenIsReportedWithoutWaitingForAnAnswer) {
    serial_.make_open_fail(0, "cannot open /dev/ttyS0: No such file or directory");
    const auto start = clock_.monotonic_ms();
    EXPECT_EQ(link_.open_board_port(), "");
    EXPECT_EQ(errors_.count(), 5);
    ASSERT_FALSE(errors_.model().lines.empty());
    const std::string& line = errors_.model().lines.back();
    EXPECT_NE(line.find("/ COMPORTOPEN /  3010 /"), std::string::npos) << line;
    EXPECT_NE(line.find("No such file or directory"), std::string::npos) << line;
    EXPECT_EQ(board_.identifies, 0);
    // Only the pauses of the error report: one second or less per attempt.
    EXPECT_LE(clock_.monotonic_ms() - start, 5500);
}

TEST_F(BoardLinkTest, ReadsTrimmingAndSerialNumberAfterStoppingTheBoard) {
    board_.set_trim(0x86, 0x00, 0xF0, 0x7F);  // a value byte 0x86 is a value
    std::string serial = "old";
    EXPECT_EQ(link_.read_board_eeprom(1, &serial), "8600F07F");
    EXPECT_EQ(serial, "0000A1B2");
    EXPECT_EQ(board_.stops, 1);
    // Stop, then one read per address, each after a flush.
    const auto& writes = serial_.writes();
    const auto stop_at = std::find(writes.begin(), writes.end(), command::stop());
    ASSERT_NE(stop_at, writes.end());
    std::vector<std::string> expected;
    for (int a : {1, 2, 3, 4, 16, 17, 18, 19}) expected.push_back(command::read_eeprom(a));
    EXPECT_EQ(std::vector<std::string>(stop_at + 1, writes.end()), expected);

    // A trimming-only read leaves the serial number alone.
    board_.set_trim(0xFF, 0xFF, 0xFF, 0x02);
    serial = "kept";
    EXPECT_EQ(link_.read_board_eeprom(0, &serial), "FFFFFF02");
    EXPECT_EQ(serial, "kept");
    EXPECT_EQ(serial_.writes().back(), command::read_eeprom(4));

    // A serial byte that does not come empties the serial number and the
    // read goes on; a trimming byte that does not come ends it with "" after 5 s.
    board_.mute_addresses = {17};
    EXPECT_EQ(link_.read_board_eeprom(1, &serial), "FFFFFF02");
    EXPECT_EQ(serial, "A1B2");
    board_.mute_addresses = {1};
    const auto start = clock_.monotonic_ms();
    EXPECT_EQ(link_.read_board_eeprom(1, &serial), "");
    EXPECT_GE(clock_.monotonic_ms() - start, 5000);
    EXPECT_LT(clock_.monotonic_ms() - start, 8000);
}

TEST_F(BoardLinkTest, SwitchedOffBoardIsNotFoundAtStartupCheckAndTrimWritesAreVerified) {
    EXPECT_TRUE(link_.write_clock_trim(0x12, 0x34, 0xAB, 0x06));
    EXPECT_EQ(board_.trim_text(), "1234AB06");
    EXPECT_EQ(std::count(serial_.writes().begin(), serial_.writes().end(), std::string("\x85\x12\x34\xAB\x06\0", 6)), 1);
    board_.accepts_trim = false;
    EXPECT_FALSE(link_.write_clock_trim(0x01, 0x02, 0x03, 0x04));

    board_.answers = false;
    EXPECT_FALSE(link_.write_clock_trim(0x01, 0x02, 0x03, 0x04));
    ASSERT_FALSE(dialogs_.shown.empty());
    EXPECT_EQ(dialogs_.shown.back().text, "A/D card not found.");
    std::string serial = "x";
    EXPECT_EQ(link_.read_board_eeprom(1, &serial), "");
    EXPECT_EQ(serial, "");
    EXPECT_FALSE(serial_.is_open());
    EXPECT_EQ(event_lines(), std::vector<std::string>{"A/D card not found at startup check"});
}

TEST_F(BoardLinkTest, BusyWaitKeepsThePumpRunningForTheTimeAsked) {
    int pumped = 0;
    pump_.on_process = [&] {
        ++pumped;
        EXPECT_TRUE(link_.busy());
    };
    const auto start = clock_.monotonic_ms();
    link_.busy_wait(1.0);
    EXPECT_GT(clock_.monotonic_ms() - start, 1000);
    EXPECT_LE(clock_.monotonic_ms() - start, 1021);
    EXPECT_GT(pumped, 10);
    EXPECT_FALSE(link_.busy());
}

TEST_F(BoardLinkTest, Lx1500StartSequence) {
    std::string error;
    ASSERT_TRUE(serial_.open(&error));
    std::vector<std::pair<std::string, std::int64_t>> sent;
    const auto start = clock_.monotonic_ms();
    serial_.on_write = [&](std::string_view bytes) {
        sent.emplace_back(std::string(bytes), clock_.monotonic_ms() - start);
    };
    serial_.feed("12345S");
    link_.send_lx1500_start_sequence();
    ASSERT_EQ(sent.size(), 5u);
    std::vector<std::string> texts;
    for (const auto& [text, at] : sent) texts.push_back(text);
    EXPECT_EQ(texts, (std::vector<std::string>{"G0T1", "STBY", "G0T1", "G0T1", "DONE"}));
    EXPECT_GE(sent[0].second, 1000);
    EXPECT_GE(sent[4].second - sent[0].second, 800);
    EXPECT_GE(clock_.monotonic_ms() - start, 3800);
    EXPECT_EQ(serial_.bytes_waiting(), 0);  // flushed at the end
}

TEST_F(BoardLinkTest, CancelEndsTheExchangesAtOnce) {
    board_.answers = false;
    const auto start = clock_.monotonic_ms();
    pump_.on_process = [&] {
        if (clock_.monotonic_ms() - start > 500) link_.cancel();
    };
    std::string serial;
    EXPECT_EQ(link_.read_board_eeprom(1, &serial), "");
    EXPECT_LT(clock_.monotonic_ms() - start, 1000);
    // Given up on purpose: not a board that was not found.
    EXPECT_TRUE(event_lines().empty());
    link_.clear_cancel();
    board_.answers = true;
    EXPECT_EQ(link_.open_board_port(), "V140");
}

TEST_F(BoardLinkTest, SendCommandNeedsAnOpenPort) {
    EXPECT_FALSE(link_.send_command(command::stop()));
    std::string error;
    ASSERT_TRUE(serial_.open(&error));
    EXPECT_TRUE(link_.send_command(command::stop()));
    serial_.refuse_writes = true;
    EXPECT_FALSE(link_.send_command(command::stop()));
}

}  // namespace
