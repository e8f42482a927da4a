// The housekeeping of terrawave --headless against the simulated board: the
// heartbeat file, the purge of old day tracks, a missing parallel port, and
// what the service manager is told on its notification socket.

#include "simulated_station.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace tw::integration;

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
