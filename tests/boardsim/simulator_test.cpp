// The simulator on a real pseudo-terminal, seen from the program's side.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "boardsim/line_speed.h"
#include "boardsim/options.h"
#include "boardsim/simulator.h"

namespace tw::boardsim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes identify{0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x81, 0, 0, 0, 0, 0};

// The program's end of the line: the pty slave in raw mode at a given speed.
class Port {
public:
    Port(const std::string& path, int baud, bool flush = true) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        cfsetspeed(&t, B38400);
        tcsetattr(fd_, TCSANOW, &t);
        // 14400 has no B constant: termios2 with BOTHER, as a serial library does it.
        if (baud != 38400) set_line_speed(fd_, baud);
        if (flush) tcflush(fd_, TCIFLUSH);
    }
    ~Port() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void send(const Bytes& bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

    // Reads for `seconds`, or until `enough` bytes came.
    Bytes receive(double seconds, std::size_t enough = SIZE_MAX) {
        Bytes got;
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (got.size() < enough) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            std::uint8_t buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

private:
    int fd_ = -1;
};

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A byte stream cut into packets at the terminators: the board seconds of the
// time packets, the samples ("CH VALUE", 16 bit) and their count per second.
struct Stream {
    std::vector<int> seconds;
    std::vector<std::string> samples;
    std::vector<std::array<int, 4>> per_second;
    int bad = 0;  // packets of a wrong length, or samples before the first time packet
};
Stream split(const Bytes& stream) {
    Stream out;
    Bytes packet;
    for (const auto b : stream) {
        packet.push_back(b);
        if (b < 0xF0) continue;
        if (packet[0] == 0x81 && packet.size() == 6) {
            out.seconds.push_back(packet[3] * 3600 + packet[2] * 60 + packet[1]);
            out.per_second.push_back({});
        } else if (packet[0] >= 0x82 && packet[0] <= 0x85 && packet.size() == 4 && !out.per_second.empty()) {
            const int c = packet[0] - 0x82;
            ++out.per_second.back()[static_cast<std::size_t>(c)];
            const int low = packet[1] + 128 * (b & 1), high = packet[2] + 64 * (b & 2);
            out.samples.push_back(std::to_string(c + 1) + " " +
                                  std::to_string(static_cast<std::int16_t>(high * 256 + low)));
        } else {
            ++out.bad;
        }
        packet.clear();
    }
    return out;
}

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "boardsimXXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string dir_;
};

TEST_F(SimulatorTest, IdentifiesAtBothSpeedsByDefault) {
    SimulatorOptions o;
    Simulator sim(o);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    EXPECT_EQ(sim.device_path().rfind("/dev/pts/", 0), 0u);
    for (int baud : {38400, 14400}) {
        Port port(sim.device_path(), baud);
        ASSERT_TRUE(port.is_open());
        EXPECT_EQ(read_line_speed(port.fd()), baud);
        port.send(identify);
        EXPECT_EQ(text(port.receive(1.0, 4)), "V140") << baud;
    }
}

TEST_F(SimulatorTest, BoardWithOneSpeedIgnoresTheOtherAndLogsCommands) {
    SimulatorOptions o;
    o.speed = 14400;
    o.version = "V151";
    o.log_path = dir_ + "/commands.log";
    Simulator sim(o);
    ASSERT_TRUE(sim.start());
    {
        Port port(sim.device_path(), 38400);
        port.send(identify);
        EXPECT_TRUE(port.receive(0.3).empty());
    }
    Port port(sim.device_path(), 14400);
    port.send(identify);
    EXPECT_EQ(text(port.receive(1.0, 4)), "V151");
    port.send({'D', 'U', 'M', 'M', 'Y', 0x84, 1, 2, 0, 0xC8, 0});
    port.receive(0.05);
    sim.stop();
    const auto log = lines_of(o.log_path);
    ASSERT_EQ(log.size(), 2u);
    const std::regex stamp(R"(\d\d:\d\d:\d\d\.\d\d\d )");
    EXPECT_TRUE(std::regex_search(log[0], stamp));
    EXPECT_EQ(log[0].substr(13), "81 00 00 00 00 00");
    EXPECT_EQ(log[1].substr(13), "84 01 02 00 C8 00");
}

// Splits the stream into packets and checks every sample against the record.
TEST_F(SimulatorTest, SamplesPerSecondAndRecordMatchWhatArrived) {
    SimulatorOptions o;
    o.start_time = 1044275696;  // 2003/02/03 12:34:56
    o.speed_factor = 10;
    o.record_path = dir_ + "/record.txt";
    Simulator sim(o);
    ASSERT_TRUE(sim.start());
    Port port(sim.device_path(), 38400);
    port.send({'D', 'U', 'M', 'M', 'Y', 0x84, 1, 2, 0, 100, 0});
    Bytes stream = port.receive(0.75);
    port.send({0x84, 0, 0, 0, 0, 0});
    const Bytes tail = port.receive(0.2);
    stream.insert(stream.end(), tail.begin(), tail.end());
    sim.stop();

    const Stream got = split(stream);
    EXPECT_EQ(got.bad, 0);
    const auto& per_second = got.per_second;
    const auto& arrived = got.samples;
    ASSERT_GE(per_second.size(), 5u);
    ASSERT_LE(per_second.size(), 10u);
    // The last second may have been cut by the stop command.
    for (std::size_t s = 0; s + 1 < per_second.size(); ++s) {
        EXPECT_EQ(per_second[s], (std::array<int, 4>{200, 100, 0, 2})) << "second " << s;
    }

    const auto record = lines_of(o.record_path);
    ASSERT_EQ(record.size(), arrived.size());
    const std::regex line(R"((\d{4}/\d\d/\d\d \d\d:\d\d:\d\d) ([1-4]) (-?\d+) (\d+))");
    for (std::size_t i = 0; i < record.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(record[i], m, line)) << record[i];
        EXPECT_EQ(m[2].str() + " " + m[3].str(), arrived[i]);
    }
    // The board clock started at --start and ran while the start command was on its way.
    char first_time[32];
    std::snprintf(first_time, sizeof first_time, "12:34:%02d", got.seconds.front() - (12 * 3600 + 34 * 60));
    EXPECT_EQ(record.front(), "2003/02/03 " + std::string(first_time) + " 1 " + arrived.front().substr(2) + " 0");
    EXPECT_LT(got.seconds.front() - (12 * 3600 + 34 * 60), 60);
}

TEST_F(SimulatorTest, SpeedFactorSixtyGivesAMinuteInASecond) {
    SimulatorOptions o;
    o.speed_factor = 60;
    Simulator sim(o);
    ASSERT_TRUE(sim.start());
    Port port(sim.device_path(), 38400);
    port.send({'D', 'U', 'M', 'M', 'Y', 0x84, 1, 1, 1, 1, 0});  // 4 x 200 sps
    const auto start = Clock::now();
    const Stream got = split(port.receive(1.0));
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const auto time_packets = static_cast<double>(got.seconds.size());
    EXPECT_NEAR(time_packets, 60 * elapsed, 6);
    EXPECT_NEAR(static_cast<double>(got.samples.size()), 800.0 * time_packets, 800);
}

TEST_F(SimulatorTest, UnplugHangsUpAndANewDeviceAppearsAtTheLink) {
    SimulatorOptions o;
    o.link_path = dir_ + "/board";
    o.unplug_after = RealSpan{0.3, 0.4};
    o.speed_factor = 10;
    Simulator sim(o);
    ASSERT_TRUE(sim.start());
    EXPECT_EQ(sim.device_path(), o.link_path);
    char target[256] = {};
    ASSERT_GT(::readlink(o.link_path.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sim.slave_path());
    {
        Port port(o.link_path, 38400);
        port.send({'D', 'U', 'M', 'M', 'Y', 0x84, 10, 0, 0, 0, 0});
        // Data flows, then the line hangs up: poll reports it and read fails.
        bool hung_up = false;
        std::size_t received = 0;
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (!hung_up && Clock::now() < end) {
            pollfd p{port.fd(), POLLIN, 0};
            ::poll(&p, 1, 100);
            std::uint8_t buffer[256];
            const ssize_t n = ::read(port.fd(), buffer, sizeof buffer);
            if (n > 0) received += static_cast<std::size_t>(n);
            hung_up = (p.revents & POLLHUP) != 0 || n == 0 || (n < 0 && errno == EIO);
        }
        EXPECT_TRUE(hung_up);
        EXPECT_GT(received, 0u);
    }
    // Comes back after the pause, behind the same link; the board kept sampling.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    Port port(o.link_path, 38400);
    ASSERT_TRUE(port.is_open());
    EXPECT_EQ(read_line_speed(port.fd()), 38400);
    const Bytes data = port.receive(1.2);
    EXPECT_NE(std::find(data.begin(), data.end(), 0x81), data.end());
    sim.stop();
    EXPECT_NE(::access(o.link_path.c_str(), F_OK), 0);  // the link goes with the simulator
}

TEST_F(SimulatorTest, PortOpenedLaterGetsNoOldPacketsAndIsNotLeftExclusive) {
    SimulatorOptions o;
    o.start_time = 1044275696;  // 2003/02/03 12:34:56
    o.speed_factor = 10;
    Simulator sim(o);
    ASSERT_TRUE(sim.start());
    int last_seen = 0;
    {
        Port port(sim.device_path(), 38400);
        port.send({'D', 'U', 'M', 'M', 'Y', 0x84, 1, 1, 1, 1, 0});
        const auto seen = split(port.receive(0.35)).seconds;
        ASSERT_FALSE(seen.empty());
        last_seen = seen.back();
        ASSERT_EQ(ioctl(port.fd(), TIOCEXCL), 0);
    }
    // 0.6 s closed = 6 board seconds; the kernel alone would keep some of them.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    // No flush of our own: the simulator empties the line within moments of the open.
    Port port(sim.device_path(), 38400, false);
    ASSERT_TRUE(port.is_open());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int exclusive = 1;
    ASSERT_EQ(ioctl(port.fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    const auto seconds = split(port.receive(0.3)).seconds;
    ASSERT_FALSE(seconds.empty());
    EXPECT_GE(seconds.front(), last_seen + 5);
}

TEST_F(SimulatorTest, StartFailsCleanlyOnAnUnwritableRecordFile) {
    SimulatorOptions o;
    o.record_path = dir_ + "/no/such/folder/record.txt";
    Simulator sim(o);
    std::string error;
    EXPECT_FALSE(sim.start(&error));
    EXPECT_NE(error.find("cannot open the record file"), std::string::npos);
    EXPECT_FALSE(sim.running());
}

}  // namespace
}  // namespace tw::boardsim
