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

class HousekeepingTest : public StationTest {
protected:
    // The day's twelve track files; its indexes start at `start`.
    void make_day(const std::string& day, const std::string& start) {
        fs::create_directories(station() / "datalog");
        for (const char* kind : {".ll", ".ch", ".lg"})
            for (char k = '1'; k <= '4'; ++k) {
                std::ofstream out(station() / "datalog" / (day + kind + k), std::ios::binary);
                if (std::string(kind) == ".ll") out << "START :" << start << "\r\nSPS   : 20\r\n";
            }
    }
    int files_of(const std::string& day) const {
        int n = 0;
        for (const auto& e : fs::directory_iterator(station() / "datalog"))
            n += e.path().filename().string().starts_with(day + ".");
        return n;
    }
    long count_events(const std::string& text) const {
        const auto lines = events();
        return std::count(lines.begin(), lines.end(), text);
    }
};

TEST_F(HousekeepingTest, HeartbeatIsRenewedOldDaysArePurgedAndAMissingPortIsReportedOnce) {
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "TWD=", " 1"},
                   {0, "WDE=", " 1"}, {0, "WDT=", " 5"}, {0, "LPT=", " 3"}, {0, "HWA=", " 1"},
                   {0, "NOP=", " 0"}, {0, "PUG=", " 30"}, {1, "SPS=", " 5 "}});
    make_day("1205", "2023/12/05 10:00:00");  // 31 days before the board's date
    make_day("1207", "2023/12/07 10:00:00");  // 29 days before
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", "2024/01/05 10:00:00"});
    ASSERT_TRUE(board.ready());
    // The PC's date is the board's: the program takes it as today.
    Background program(TW_TERRAWAVE, headless_arguments(board.device()),
                       (folder_ / "out").string(), (folder_ / "err").string(),
                       {"TERRAWAVE_NO_CLOCK_SET=1", "LD_PRELOAD=" TW_LIBFAKETIME,
                        "FAKETIME=@2024-01-05 10:00:00"});

    const fs::path heartbeat = station() / "terrawv.wdn";
    std::set<fs::file_time_type> renewals;
    const bool renewed = wait_until(
        [&] {
            std::error_code ec;
            const auto when = fs::last_write_time(heartbeat, ec);
            if (!ec) renewals.insert(when);
            return renewals.size() >= 5;
        },
        60s);
    EXPECT_TRUE(renewed) << renewals.size() << " " << read_file((folder_ / "err").string());
    EXPECT_EQ(read_file(heartbeat.string()), "warden\r\n");
    EXPECT_TRUE(wait_until([&] { return files_of("1205") == 0; }, 60s));
    program.signal(SIGTERM);
    ASSERT_EQ(program.wait(60s), 0) << read_file((folder_ / "err").string());

    EXPECT_EQ(files_of("1207"), 12);
    EXPECT_EQ(count_events("Datalog of day 1205 purged."), 1);
    if (fs::exists("/dev/parport2")) GTEST_SKIP() << "this machine has a third parallel port";
    EXPECT_EQ(count_events("LPT3: /dev/parport2: No such file or directory"), 1)
        << read_file((station() / "evtfile.dat").string());
}

// A datagram socket standing in for the service manager's.
class NotifySocket {
public:
    explicit NotifySocket(const fs::path& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        timeval wait{0, 200000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~NotifySocket() { ::close(fd_); }
    bool bound() const { return bound_; }
    // The state lines received so far, in order.
    const std::vector<std::string>& lines() {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            for (const auto& line : split_lines(std::string(buffer, static_cast<std::size_t>(n))))
                lines_.push_back(line);
        return lines_;
    }
    long count(const std::string& line) {
        const auto& all = lines();
        return std::count(all.begin(), all.end(), line);
    }

private:
    fs::path path_;
    int fd_ = -1;
    bool bound_ = false;
    std::vector<std::string> lines_;
};

TEST_F(HousekeepingTest, ServiceManagerHearsReadyTheWatchdogAndStopping) {
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {1, "SPS=", " 5 "}});
    SimulatedBoard board(folder_, {"--family", "orda10"});
    ASSERT_TRUE(board.ready());
    NotifySocket manager(folder_ / "notify");
    ASSERT_TRUE(manager.bound());
    Background program(TW_TERRAWAVE, headless_arguments(board.device()),
                       (folder_ / "out").string(), (folder_ / "err").string(),
                       {"TERRAWAVE_NO_CLOCK_SET=1", "NOTIFY_SOCKET=" + (folder_ / "notify").string()});
    EXPECT_TRUE(wait_until([&] { return manager.count("READY=1") == 1; }, 60s));
    EXPECT_TRUE(wait_until([&] { return manager.count("WATCHDOG=1") >= 3; }, 60s));
    EXPECT_EQ(manager.count("STOPPING=1"), 0);
    program.signal(SIGTERM);
    ASSERT_EQ(program.wait(60s), 0) << read_file((folder_ / "err").string());
    const auto& lines = manager.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "STOPPING=1"), 1);
    // Acquiring was said, with the rate, before the end.
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.starts_with("STATUS=Acquiring, "); }),
              lines.end());
    EXPECT_EQ(lines.back(), "STATUS=Stopping");
}

}  // namespace
