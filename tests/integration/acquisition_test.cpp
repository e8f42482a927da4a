// terrawave --headless against terrawave-boardsim on a pseudo-terminal: the
// board is found, prepared and started, a silent board and a lost port are
// recovered, SIGTERM stops the board. What happened is read from the
// station's event list and from the simulator's command log. The cases of
// each step (and the text boards) are the station tests' (tests/app); these
// runs show the real port, the real simulator and the real program agree.
// The housekeeping of such a run: the heartbeat file, the purge of old day
// tracks, a missing parallel port, and what the service manager is told on
// its notification socket.

#include "simulated_station.h"

#include <QImage>

#include <sys/socket.h>
#include <sys/un.h>

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

// --simulate on a new station: settings that show the board at work, and its
// quake (every five minutes of the board's clock, which starts at the PC's)
// recorded and drawn red on the drum; a second run leaves those settings as
// they are.
TEST_F(AcquisitionTest, SimulateShowsANewStationTheQuakeAndKeepsItsSettings) {
    pc_start_ = "2024/03/05 12:34:56";  // the quake at 12:35:00, strong from 12:35:08
    const fs::path events_folder = station() / "events";
    // Ten seconds of the strong phase and its coda in the event file.
    auto quake_recorded = [&] {
        const auto files = files_in(events_folder);
        if (files.empty()) return false;
        const auto samples = read_event_file(files[0]).samples;
        const auto strong = std::find_if(samples.begin(), samples.end(), [](int v) { return std::abs(v) > 3000; });
        return samples.end() - strong > 500;
    };
    const auto result = run_headless_until("", quake_recorded, 120s, {"--simulate"});
    ASSERT_FALSE(result.timed_out) << result.err;
    ASSERT_EQ(result.exit_status, 0) << result.err;
    for (const char* text : {"Serial number mismatch", "Clock trimming", "error:", "date format"})
        EXPECT_EQ(result.err.find(text), std::string::npos) << result.err;
    const auto list = events();
    EXPECT_EQ(std::count(list.begin(), list.end(),
                         "New settings for the simulated board: CH1 50 sps, CH2 50 sps, CH3 50 sps, CH4 50 sps; "
                         "drum and events of CH1 (start at 2000 counts). The simulated board sends a small quake "
                         "on CH1 every 5 minutes of its clock."), 1);
    const auto files = files_in(events_folder);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::any_of(list.begin(), list.end(), [&](const std::string& line) {
        return line.starts_with(files[0].filename().string() + " 2024/03/05 12:3");
    })) << list.back();
    const QImage drum((station() / "drums" / "drum_1.JPG").string().c_str());
    int red = 0;
    for (int y = 0; y < drum.height(); ++y)
        for (int x = 0; x < drum.width(); ++x) {
            const QRgb p = drum.pixel(x, y);
            red += qRed(p) > 180 && qGreen(p) < 110 && qBlue(p) < 110;
        }
    EXPECT_GT(red, 20);

    const std::string settings = read_file((station() / "terrawv.ini").string());
    auto restarted = [&] {
        const auto lines = events();
        const auto stop = std::find(lines.begin(), lines.end(), "STOP");
        return std::any_of(stop, lines.end(), [](const std::string& line) { return line.starts_with("START with"); });
    };
    const auto again = run_headless_until("", restarted, 120s, {"--simulate"});
    ASSERT_FALSE(again.timed_out) << again.err;
    EXPECT_EQ(read_file((station() / "terrawv.ini").string()), settings);
    EXPECT_EQ(again.err.find("New settings"), std::string::npos);
}

using HousekeepingTest = StationTest;

TEST_F(HousekeepingTest, HeartbeatPurgeMissingPortAndTheServiceManager) {
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "TWD=", " 1"},
                   {0, "WDE=", " 1"}, {0, "WDT=", " 5"}, {0, "LPT=", " 3"}, {0, "HWA=", " 1"},
                   {0, "NOP=", " 0"}, {0, "PUG=", " 30"}, {1, "SPS=", " 5 "}});
    // Days 31 and 29 days before the board's date.
    const fs::path datalog = station() / "datalog";
    fs::create_directories(datalog);
    for (const std::string day : {"1205", "1207"})
        for (const char* kind : {".ll", ".ch", ".lg"})
            for (char k = '1'; k <= '4'; ++k)
                std::ofstream(datalog / (day + kind + k))
                    << (kind[1] == 'l' ? "START :2023/" + day.substr(0, 2) + "/" + day.substr(2) +
                                             " 10:00:00\r\n"
                                       : "");
    auto files_of = [&](const std::string& day) {
        return std::count_if(fs::directory_iterator(datalog), fs::directory_iterator(),
                             [&](const auto& e) { return e.path().filename().string().starts_with(day); });
    };
    pc_start_ = "2024/01/05 10:00:00";
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", pc_start_});
    ASSERT_TRUE(board.ready());
    // A datagram socket standing in for the service manager's.
    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (folder_ / "notify").c_str());
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::vector<std::string> told;  // the state lines received, in order
    auto count = [&](const std::string& line) {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            for (const auto& l : split_lines(std::string(buffer, static_cast<std::size_t>(n))))
                told.push_back(l);
        return std::count(told.begin(), told.end(), line);
    };
    // The PC's date is the board's: the program takes it as today.
    auto environment = pc_clock_at(pc_start_);
    environment.push_back("NOTIFY_SOCKET=" + (folder_ / "notify").string());
    Background program(TW_TERRAWAVE, headless_arguments(board.device()), (folder_ / "out").string(),
                       (folder_ / "err").string(), environment);
    const auto err = [&] { return read_file((folder_ / "err").string()); };

    const fs::path heartbeat = station() / "terrawv.wdn";
    std::set<fs::file_time_type> renewals;
    EXPECT_TRUE(wait_until([&] {
        std::error_code ec;
        if (const auto when = fs::last_write_time(heartbeat, ec); !ec) renewals.insert(when);
        return renewals.size() >= 5;
    }, 60s)) << renewals.size() << " " << err();
    EXPECT_EQ(read_file(heartbeat.string()), "warden\r\n");
    EXPECT_EQ(count("READY=1"), 1);
    EXPECT_TRUE(wait_until([&] { return count("WATCHDOG=1") >= 3; }, 60s));
    EXPECT_TRUE(wait_until([&] { return files_of("1205") == 0; }, 60s));
    program.signal(SIGTERM);
    ASSERT_EQ(program.wait(60s), 0) << err();
    EXPECT_EQ(count("STOPPING=1"), 1);
    ::close(socket);

    EXPECT_EQ(files_of("1207"), 12);
    EXPECT_TRUE(has_event("Datalog of day 1205 purged."));
    if (fs::exists("/dev/parport2")) GTEST_SKIP() << "this machine has a third parallel port";
    EXPECT_EQ(std::ranges::count(events(), "LPT3: /dev/parport2: No such file or directory"), 1);
}

}  // namespace
