// terrawave --headless against terrawave-boardsim on a pseudo-terminal: the
// board is found, prepared and started, samples flow, a silent board and a
// lost port are recovered, and STOP stops the board. What happened is read
// from the station's event list and from the simulator's command log.

#include "simulated_station.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace tw::integration;

class AcquisitionTest : public StationTest {};

const std::string stop_command = "84 00 00 00 00 00";

TEST_F(AcquisitionTest, Orda10AnsweringOnlyAt14400IsFoundStartedAndStopped) {
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {1, "SPS=", " 1 "},
                   {2, "SPS=", " 5 "}, {3, "SPS=", " 11 "}, {4, "SPS=", " 12 "}});
    SimulatedBoard board(folder_, {"--family", "orda10", "--version", "V140", "--speed", "14400"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 12);
    ASSERT_EQ(result.exit_status, 0) << result.err;

    const auto lines = events();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "START with ORDA10 V140"), lines.end())
        << result.err;
    EXPECT_EQ(lines.back(), "STOP");
    // Every message also went to standard error.
    EXPECT_NE(result.err.find(" START with ORDA10 V140\n"), std::string::npos) << result.err;

    // Stop and EEPROM reads, the identification of the run, the start
    // command with the divisors of 1SPM, 2, 100 and 200, and the stop.
    const auto commands = board.commands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[0], "81 00 00 00 00 00");
    EXPECT_EQ(commands[1], stop_command);
    EXPECT_EQ(commands[commands.size() - 2], "84 64 64 02 01 00");
    EXPECT_EQ(commands.back(), stop_command);
    // The board sent samples of the two fast channels meanwhile.
    const auto samples = board.record();
    EXPECT_GT(std::count_if(samples.begin(), samples.end(),
                            [](const std::string& l) { return l.size() > 21 && l[20] == '4'; }),
              200);
}

TEST_F(AcquisitionTest, Orda20FirstUseRegistersTheBoardAndDividesHundred) {
    edit_settings({{0, "ASN=", ""}, {1, "SPS=", " 1 "}, {2, "SPS=", " 5 "}, {3, "SPS=", " 11 "},
                   {4, "SPS=", " 0 "}});
    SimulatedBoard board(folder_, {"--family", "orda20", "--serial", "12AB34CD"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 6);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(has_event("Startup INI inizialization. c/t:FFFFFF02 s/n:12AB")) << result.err;
    EXPECT_TRUE(has_event("START with ORDA10 V180"));
    EXPECT_EQ(events().back(), "STOP");
    const auto commands = board.commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2], "84 32 32 01 00 00");  // 50, 50, 1, OFF
    EXPECT_EQ(commands.back(), stop_command);
}

TEST_F(AcquisitionTest, AlteredTrimmingIsWrittenBackAndVerified) {
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "CKT=", "12345678"}});
    SimulatedBoard board(folder_, {"--family", "orda10", "--trim", "FFFFFF03"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 8);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    const auto lines = events();
    const auto altered = std::find(lines.begin(), lines.end(), "Clock trimming found altered (FFFFFF03).");
    ASSERT_NE(altered, lines.end()) << result.err;
    ASSERT_NE(altered + 1, lines.end());
    EXPECT_EQ(*(altered + 1), "Clock trimming corrected to: 12345678");
    const auto commands = board.commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "85 12 34 56 78 00"), commands.end());
    // Read back after the write.
    const auto written = std::find(commands.begin(), commands.end(), "85 12 34 56 78 00");
    EXPECT_NE(std::find(written, commands.end(), "86 04 00 00 00 00"), commands.end());
}

TEST_F(AcquisitionTest, SilentBoardIsRestartedAndSamplesFlowAgain) {
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {1, "SPS=", " 11 "}});
    SimulatedBoard board(folder_, {"--family", "orda10", "--silent-after", "2:10"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 22);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(has_event("Warning! A/D card restarted.")) << result.err;
    EXPECT_EQ(events().back(), "STOP");
    const auto starts = board.command_times("84 02 64 64 64 00");  // 100, then 1 per second
    ASSERT_GE(starts.size(), 2u);
    // Samples with board times after the restart.
    const auto samples = board.record();
    ASSERT_FALSE(samples.empty());
    EXPECT_GT(samples.back().substr(11, 8), starts[1]) << samples.back();
}

TEST_F(AcquisitionTest, UnpluggedPortIsReopenedAndTheBoardRestarted) {
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}});
    SimulatedBoard board(folder_, {"--family", "orda10", "--unplug-after", "2:3"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 14);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    const auto lines = events();
    const auto lost = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.starts_with("Lost the connection to " + board.device() + ": ");
    });
    ASSERT_NE(lost, lines.end()) << result.err;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.starts_with("Lost the"); }),
              1);
    EXPECT_NE(std::find(lost, lines.end(), "Serial port " + board.device() + " reopened."), lines.end());
    EXPECT_EQ(lines.back(), "STOP");
    EXPECT_GE(board.command_times("84 64 64 64 64 00").size(), 2u);
    EXPECT_EQ(board.commands().back(), stop_command);
}

TEST_F(AcquisitionTest, Lx1500IsStartedWithItsSequenceAndStoppedWithStby) {
    edit_settings({{0, "ADT=", " 3"}});
    SimulatedBoard board(folder_, {"--family", "lx1500"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 7);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(has_event("START with N.E. LX1500 at 19200,n,8,1 ")) << result.err;
    EXPECT_EQ(events().back(), "STOP");
    const auto commands = board.commands();
    // G0T1, STBY, G0T1, G0T1, DONE at the start, STBY at the stop.
    const std::vector<std::string> expected = {"47 30 54 31", "53 54 42 59", "47 30 54 31",
                                               "47 30 54 31", "44 4F 4E 45", "53 54 42 59"};
    EXPECT_EQ(commands, expected) << result.err;
}

TEST_F(AcquisitionTest, SimulateRunsANewStationWithoutQuestions) {
    const auto result = run_headless("", 5, {"--simulate"});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(has_event("START with ORDA10 V180")) << result.err;
    EXPECT_EQ(events().back(), "STOP");
    EXPECT_EQ(result.err.find("Serial number mismatch"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Clock trimming"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("error:"), std::string::npos) << result.err;
}

// An Infiltec board gets no command at all; SIGTERM runs the stop path.
TEST_F(AcquisitionTest, InfiltecGetsNoCommandAndSigtermStopsWithExitZero) {
    edit_settings({{0, "ADT=", " 2"}});
    SimulatedBoard board(folder_, {"--family", "infiltec"});
    ASSERT_TRUE(board.ready());
    Background program(TW_TERRAWAVE,
                       {"--folder", station().string(), "--headless", "--port", board.device()},
                       (folder_ / "tw.out").string(), (folder_ / "tw.err").string(),
                       {"TERRAWAVE_NO_CLOCK_SET=1"});
    ASSERT_TRUE(wait_until([&] { return has_event("START with Infiltec at 9600,n,8,1 "); }, 10s));
    EXPECT_TRUE(wait_until([&] { return !board.record().empty(); }, 10s));
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(10s), 0);
    EXPECT_EQ(events().back(), "STOP");
    EXPECT_TRUE(board.commands().empty());
}

TEST_F(AcquisitionTest, MissingDeviceIsCardNotFoundWithExitStatus2) {
    edit_settings({{0, "ADT=", " 0"}});
    const auto result = run_headless((folder_ / "no-such-device").string(), 120);
    EXPECT_EQ(result.exit_status, 2) << result.err;
    EXPECT_NE(result.err.find("A/D card not found\nCheck your cable"), std::string::npos)
        << result.err;
    EXPECT_NE(events().back(), "STOP");
}

}  // namespace
