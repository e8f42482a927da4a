// The board link on a scripted port: speed search, identification, EEPROM
// exchanges, the command bytes and the waits.

#include "acquisition/board_link.h"
#include "fake_board.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_serial_port.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

namespace {

using namespace tw;
using acquisition::BoardLink;
namespace command = acquisition::board_command;

class BoardLinkTest : public ::testing::Test {
protected:
    std::vector<std::string> event_lines() const {
        std::vector<std::string> texts;
        for (const auto& line : events_.read_lines()) texts.push_back(line.substr(20));
        return texts;
    }
    std::int64_t elapsed_since(std::int64_t start) const { return clock_.monotonic_ms() - start; }

    tw::testing::TestFolder folder_;
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

// The other commands' bytes are checked on the simulator's command log by
// the integration runs, which strip the preamble and ignore the "DUMMY".
TEST(BoardCommands, IdentifyAndStartCarryTheirPreamblesAndHexTextsAreChecked) {
    EXPECT_EQ(command::identify(), std::string("@@@@@@@\x81\0\0\0\0\0", 13));
    EXPECT_EQ(command::start(std::string("\x32\x32\x01\x01", 4)), std::string("DUMMY\x84\x32\x32\x01\x01\0", 11));
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
    EXPECT_EQ(board_.identify_speeds, (std::vector<std::string>{"38400,n,8,1", "14400,n,8,1"}));
    EXPECT_TRUE(serial_.is_open());
    EXPECT_EQ(serial_.line_settings(), "14400,n,8,1");
    // The first attempt waited for four changes of the PC second.
    EXPECT_GE(elapsed_since(start), 3000);
    EXPECT_LT(elapsed_since(start), 5000);
    EXPECT_EQ(error_location_, BoardLink::error_location_port_open);
}

TEST_F(BoardLinkTest, NoBoardGivesEmptyReplyAfterFiveAttemptsAtAlternatingSpeeds) {
    board_.answers = false;
    const auto start = clock_.monotonic_ms();
    EXPECT_EQ(link_.open_board_port(), "");
    EXPECT_EQ(board_.identify_speeds, (std::vector<std::string>{"38400,n,8,1", "14400,n,8,1", "38400,n,8,1",
                                                                "14400,n,8,1", "38400,n,8,1"}));
    EXPECT_GE(elapsed_since(start), 15000);
    EXPECT_LE(elapsed_since(start), 21000);
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
    EXPECT_LE(elapsed_since(start), 5500);  // the error report's pauses only
}

TEST_F(BoardLinkTest, ReadsTrimmingAndSerialNumberAfterStoppingTheBoard) {
    board_.set_trim(0x86, 0x00, 0xF0, 0x7F);  // a value byte 0x86 is a value
    std::string serial = "old";
    EXPECT_EQ(link_.read_board_eeprom(1, &serial), "8600F07F");
    EXPECT_EQ(serial, "0000A1B2");
    // Stop, then one read per address.
    std::vector<std::string> expected{command::stop()};
    for (int a : {1, 2, 3, 4, 16, 17, 18, 19}) expected.push_back(command::read_eeprom(a));
    EXPECT_TRUE(serial_.writes().size() >= expected.size() &&
                std::equal(expected.rbegin(), expected.rend(), serial_.writes().rbegin()));

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
    EXPECT_GE(elapsed_since(start), 5000);
    EXPECT_LT(elapsed_since(start), 8000);
}

// A write that sticks or not is the hardware setup's test, over this link.
TEST_F(BoardLinkTest, SwitchedOffBoardIsNotFoundAtStartupCheck) {
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
    EXPECT_GT(elapsed_since(start), 1000);
    EXPECT_LE(elapsed_since(start), 1021);
    EXPECT_GT(pumped, 10);
    EXPECT_FALSE(link_.busy());
}

// Its commands and the flush at the end are the run's tests (tests/app).
TEST_F(BoardLinkTest, Lx1500StartSequenceKeepsItsPauses) {
    ASSERT_TRUE(serial_.open(nullptr));
    std::vector<std::int64_t> sent_at;
    const auto start = clock_.monotonic_ms();
    serial_.on_write = [&](std::string_view) { sent_at.push_back(elapsed_since(start)); };
    link_.send_lx1500_start_sequence();
    ASSERT_EQ(sent_at.size(), 5u);
    EXPECT_GE(sent_at[0], 1000);
    EXPECT_GE(sent_at[4] - sent_at[0], 800);
    EXPECT_GE(elapsed_since(start), 3800);
}

TEST_F(BoardLinkTest, CancelEndsTheExchangesAtOnceAndSendNeedsAnOpenPort) {
    board_.answers = false;
    const auto start = clock_.monotonic_ms();
    pump_.on_process = [&] {
        if (elapsed_since(start) > 500) link_.cancel();
    };
    std::string serial;
    EXPECT_EQ(link_.read_board_eeprom(1, &serial), "");
    EXPECT_LT(elapsed_since(start), 1000);
    EXPECT_TRUE(event_lines().empty());  // given up on purpose: not a board that was not found
    link_.clear_cancel();
    board_.answers = true;
    EXPECT_EQ(link_.open_board_port(), "V140");

    serial_.close();
    EXPECT_FALSE(link_.send_command(command::stop()));
    ASSERT_TRUE(serial_.open(nullptr));
    EXPECT_TRUE(link_.send_command(command::stop()));
    serial_.refuse_writes = true;
    EXPECT_FALSE(link_.send_command(command::stop()));
}

}  // namespace
