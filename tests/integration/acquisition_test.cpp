// terrawave --headless against terrawave-boardsim on a pseudo-terminal: the
// board is found, prepared and started, a silent board and a lost port are
// recovered, SIGTERM stops the board. What happened is read from the
// station's event list and from the simulator's command log. The cases of
// each step (and the text boards) are the station tests' (tests/app); these
// runs show the real port, the real simulator and the real program agree.

#include "simulated_station.h"

#include <gtest/gtest.h>

namespace {

using namespace tw::integration;

class AcquisitionTest : public StationTest {};

const std::string stop_command = "84 00 00 00 00 00";

// One ORDA10 run through every recovery: the board answers at 14400 only,
// its trimming was altered, it goes silent 2 s after sampling starts for
// 10 s, and its adapter is pulled 16 s after for 3 s.
TEST_F(AcquisitionTest, Orda10IsPreparedRestartedAfterSilenceReopenedAfterUnplugAndStopped) {
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "CKT=", "12345678"},
                   {1, "SPS=", " 1 "}, {2, "SPS=", " 5 "}, {3, "SPS=", " 11 "}, {4, "SPS=", " 12 "}});
    SimulatedBoard board(folder_, {"--family", "orda10", "--version", "V140", "--speed", "14400",
                                   "--trim", "FFFFFF03", "--silent-after", "2:10", "--unplug-after", "16:3"});
    ASSERT_TRUE(board.ready());
    std::size_t sent_before_reopen = 0;
    const auto result = run_headless_until(board.device(), [&] {
        if (!sent_before_reopen && has_event("Serial port " + board.device() + " reopened."))
            sent_before_reopen = board.record().size() + 1;
        return sent_before_reopen && board.record().size() > sent_before_reopen + 400;
    });
    ASSERT_FALSE(result.timed_out) << result.err;
    ASSERT_EQ(result.exit_status, 0) << result.err;

    // The lines that tell the story, in order; a silent board may be
    // restarted more than once.
    const auto lines = events();
    const auto first = [&](const std::string& start) {
        return std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.starts_with(start); }) -
               lines.begin();
    };
    const std::vector<std::string> story = {"Clock trimming found altered (FFFFFF03).",
                                            "Clock trimming corrected to: 12345678",
                                            "START with ORDA10 V140",
                                            "Warning! A/D card restarted.",
                                            "Lost the connection to " + board.device() + ": ",
                                            "Serial port " + board.device() + " reopened."};
    for (std::size_t i = 0; i < story.size(); ++i)
        EXPECT_LT(first(story[i]), i + 1 < story.size() ? first(story[i + 1]) : static_cast<long>(lines.size()))
            << story[i] << "\n" << result.err;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.starts_with("Lost the"); }), 1);
    EXPECT_EQ(lines.back(), "STOP");
    EXPECT_NE(result.err.find(" START with ORDA10 V140\n"), std::string::npos);

    // Identification (without its preamble) and stop, the trimming written
    // and read back, the start command with the divisors of 1SPM, 2, 100 and
    // 200 at the start and at each restart, the stop.
    const auto commands = board.commands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[0], "81 00 00 00 00 00");
    EXPECT_EQ(commands[1], stop_command);
    const auto written = std::find(commands.begin(), commands.end(), "85 12 34 56 78 00");
    EXPECT_NE(std::find(written, commands.end(), "86 04 00 00 00 00"), commands.end());
    EXPECT_GE(std::count(commands.begin(), commands.end(), "84 64 64 02 01 00"), 3);
    EXPECT_EQ(commands.back(), stop_command);
}

TEST_F(AcquisitionTest, SimulateRunsANewStationWithoutQuestions) {
    const auto result = run_headless_until("", [&] { return has_event("START with ORDA10 V180"); }, 120s,
                                           {"--simulate"});
    ASSERT_FALSE(result.timed_out) << result.err;
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(events().back(), "STOP");
    for (const char* text : {"Serial number mismatch", "Clock trimming", "error:"})
        EXPECT_EQ(result.err.find(text), std::string::npos) << result.err;
}

}  // namespace
