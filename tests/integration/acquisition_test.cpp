// terrawave --headless against terrawave-boardsim on a pseudo-terminal: the
// board is found, prepared and started, samples flow, a silent board and a
// lost port are recovered, and STOP stops the board. What happened is read
// from the station's event list and from the simulator's command log.

#include "process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tw::integration::Background;
using tw::integration::read_file;
using tw::integration::run;
using tw::integration::wait_until;

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The simulated board, running in the background with a link, a command log
// and a sample record in the test's folder.
class SimulatedBoard {
public:
    SimulatedBoard(const fs::path& folder, std::vector<std::string> options)
        : link_(folder / "board"), log_(folder / "board.log"), record_(folder / "board.rec") {
        options.insert(options.end(), {"--link", link_.string(), "--log", log_.string(),
                                       "--record", record_.string()});
        process_ = std::make_unique<Background>(TW_BOARDSIM, options, (folder / "sim.out").string(),
                                                (folder / "sim.err").string());
        ready_ = wait_until([&] { return fs::exists(link_); }, 5s);
    }
    ~SimulatedBoard() {
        process_->signal(SIGTERM);
        process_->wait(5s);
    }
    bool ready() const { return ready_; }
    std::string device() const { return link_.string(); }
    // The commands the board received, without their time stamps
    // ("84 64 64 02 01 00"; the preambles are not part of them).
    std::vector<std::string> commands() const {
        std::vector<std::string> out;
        for (const auto& line : split_lines(read_file(log_.string())))
            if (line.size() > 13) out.push_back(line.substr(13));
        return out;
    }
    // Board times ("HH:MM:SS") at which the board received each command.
    std::vector<std::string> command_times(const std::string& command) const {
        std::vector<std::string> out;
        for (const auto& line : split_lines(read_file(log_.string())))
            if (line.size() > 13 && line.substr(13) == command) out.push_back(line.substr(0, 8));
        return out;
    }
    std::vector<std::string> record() const { return split_lines(read_file(record_.string())); }

private:
    fs::path link_, log_, record_;
    std::unique_ptr<Background> process_;
    bool ready_ = false;
};

class AcquisitionTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (std::string("tw_acq_") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "station");
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder_);
    }
    fs::path station() const { return folder_ / "station"; }

    // A new station whose settings are changed line by line: each pair
    // replaces the first line starting with the key ("SPS=" applies to the
    // channels in order).
    void write_settings(const std::vector<std::pair<std::string, std::string>>& changes) {
        const auto made = run(TW_TERRAWAVE, {"--folder", station().string(), "--print-settings"});
        ASSERT_EQ(made.exit_status, 0) << made.err;
        std::string text = read_file((station() / "terrawv.ini").string());
        std::size_t from_sps = 0;
        for (const auto& [key, value] : changes) {
            const std::size_t start = key == "SPS=" ? from_sps : 0;
            const std::size_t at = text.find("\r\n" + key, start == 0 ? 0 : start);
            ASSERT_NE(at, std::string::npos) << key;
            const std::size_t end = text.find("\r\n", at + 2);
            text.replace(at + 2, end - at - 2, key + value);
            if (key == "SPS=") from_sps = at + 2;
        }
        std::ofstream(station() / "terrawv.ini", std::ios::binary) << text;
    }
    std::vector<std::string> events() const {
        std::vector<std::string> texts;
        for (const auto& line : split_lines(read_file((station() / "evtfile.dat").string())))
            texts.push_back(line.size() > 20 ? line.substr(20) : line);
        return texts;
    }
    bool has_event(const std::string& text) const {
        const auto lines = events();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    tw::integration::RunResult run_headless(const std::string& device, int seconds,
                                            std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"--folder", station().string(), "--headless",
                                              "--run-for", std::to_string(seconds)};
        if (!device.empty()) arguments.insert(arguments.end(), {"--port", device});
        arguments.insert(arguments.end(), more.begin(), more.end());
        return run(TW_TERRAWAVE, arguments, std::chrono::seconds(seconds + 60),
                   {"TERRAWAVE_NO_CLOCK_SET=1"});
    }

    fs::path folder_;
};

const std::string stop_command = "84 00 00 00 00 00";

TEST_F(AcquisitionTest, Orda10AnsweringOnlyAt14400IsFoundStartedAndStopped) {
    write_settings({{"ADT=", " 0"}, {"ASN=", "0000A1B2"},
                    {"SPS=", " 1 "}, {"SPS=", " 5 "}, {"SPS=", " 11 "}, {"SPS=", " 12 "}});
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
    write_settings({{"ASN=", ""}, {"SPS=", " 1 "}, {"SPS=", " 5 "}, {"SPS=", " 11 "},
                    {"SPS=", " 0 "}});
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
    write_settings({{"ADT=", " 0"}, {"ASN=", "0000A1B2"}, {"CKT=", "12345678"}});
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
    write_settings({{"ADT=", " 0"}, {"ASN=", "0000A1B2"}, {"SPS=", " 11 "}});
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
    write_settings({{"ADT=", " 0"}, {"ASN=", "0000A1B2"}});
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
    write_settings({{"ADT=", " 3"}});
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

TEST_F(AcquisitionTest, InfiltecGetsNoCommandAtAll) {
    write_settings({{"ADT=", " 2"}});
    SimulatedBoard board(folder_, {"--family", "infiltec"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 4);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(has_event("START with Infiltec at 9600,n,8,1 ")) << result.err;
    EXPECT_EQ(events().back(), "STOP");
    EXPECT_TRUE(board.commands().empty());
    EXPECT_FALSE(board.record().empty());
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

TEST_F(AcquisitionTest, SigtermRunsTheStopPathAndExitsZero) {
    write_settings({{"ADT=", " 2"}});
    SimulatedBoard board(folder_, {"--family", "infiltec"});
    ASSERT_TRUE(board.ready());
    Background program(TW_TERRAWAVE,
                       {"--folder", station().string(), "--headless", "--port", board.device()},
                       (folder_ / "tw.out").string(), (folder_ / "tw.err").string(),
                       {"TERRAWAVE_NO_CLOCK_SET=1"});
    ASSERT_TRUE(wait_until([&] { return has_event("START with Infiltec at 9600,n,8,1 "); }, 10s));
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(10s), 0);
    EXPECT_EQ(events().back(), "STOP");
}

TEST_F(AcquisitionTest, MissingDeviceIsCardNotFoundWithExitStatus2) {
    write_settings({{"ADT=", " 0"}});
    const auto result = run_headless((folder_ / "no-such-device").string(), 120);
    EXPECT_EQ(result.exit_status, 2) << result.err;
    EXPECT_NE(result.err.find("A/D card not found\nCheck your cable"), std::string::npos)
        << result.err;
    EXPECT_NE(events().back(), "STOP");
}

}  // namespace
