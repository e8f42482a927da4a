// The simulator on a real pseudo-terminal, seen from the program's side.
// Reads wait for what must come, never for a set time that decides the verdict.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "board_stream.h"
#include "boardsim/line_speed.h"
#include "boardsim/options.h"
#include "boardsim/simulator.h"
#include "fakes/test_files.h"

namespace tw::boardsim {
namespace {

using testing::Bytes;
using testing::split;
using Clock = std::chrono::steady_clock;

bool wait_until(const std::function<bool()>& done, double seconds = 20) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

// The program's end of the line: the pty slave in raw mode at 38400.
class Port {
public:
    explicit Port(const std::string& path, bool flush = true) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        cfsetspeed(&t, B38400);
        tcsetattr(fd_, TCSANOW, &t);
        if (flush) tcflush(fd_, TCIFLUSH);
    }
    ~Port() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool is_open() const { return fd_ >= 0; }
    bool hung_up() const { return hung_up_; }
    int fd() const { return fd_; }
    void send(const Bytes& bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

    // Reads until `enough` holds for what came, the line hangs up or 20 s pass.
    Bytes receive_until(const std::function<bool(const Bytes&)>& enough) {
        Bytes got;
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (!enough(got) && Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            std::uint8_t buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
            if ((hung_up_ = n == 0 || (n < 0 && errno != EAGAIN))) break;
        }
        return got;
    }
    Bytes receive_seconds(std::size_t count) {
        return receive_until([count](const Bytes& b) { return split(b).time_packets.size() >= count; });
    }

private:
    int fd_ = -1;
    bool hung_up_ = false;
};

// How the board answers at each speed (its default, or one speed only), its
// command log, and its record against the samples the program got, meet the
// program in the integration runs; its packets and their timing are the board
// tests' (virtual clock), its encoding the encoder tests'.
class SimulatorTest : public ::testing::Test {
protected:
    tw::testing::TestFolder folder_;
    const std::string dir_ = folder_.path().string();
};

TEST_F(SimulatorTest, UnplugHangsUpAndANewDeviceAppearsAtTheLink) {
    SimulatorOptions o;
    o.link_path = dir_ + "/board";
    o.unplug_after = RealSpan{0.3, 0.4};
    o.speed_factor = 10;
    Simulator sim(o);
    ASSERT_TRUE(sim.start());
    EXPECT_EQ(sim.device_path(), o.link_path);
    {
        Port port(o.link_path);
        port.send({'D', 'U', 'M', 'M', 'Y', 0x84, 10, 0, 0, 0, 0});
        // Data flows, then the line hangs up: read fails.
        EXPECT_FALSE(port.receive_until([](const Bytes&) { return false; }).empty());
        EXPECT_TRUE(port.hung_up());
    }
    // It comes back after the pause, behind the same link (the dead device
    // cannot be opened); the board kept sampling.
    std::unique_ptr<Port> port;
    ASSERT_TRUE(wait_until([&] { return (port = std::make_unique<Port>(o.link_path))->is_open(); }));
    EXPECT_EQ(read_line_speed(port->fd()), 38400);
    EXPECT_FALSE(split(port->receive_seconds(1)).time_packets.empty());
    sim.stop();
    EXPECT_NE(::access(o.link_path.c_str(), F_OK), 0);  // the link goes with the simulator
}

TEST_F(SimulatorTest, PortOpenedLaterGetsNoOldPacketsAndIsNotLeftExclusive) {
    SimulatorOptions o;
    o.start_time = 1044275696;  // 2003/02/03 12:34:56
    o.speed_factor = 10;
    Simulator sim(o);
    ASSERT_TRUE(sim.start());
    const unsigned resets = sim.line_resets();
    int last_seen = 0;
    const auto started = Clock::now();
    {
        Port port(sim.device_path());
        port.send({'D', 'U', 'M', 'M', 'Y', 0x84, 1, 1, 1, 1, 0});
        const auto seen = split(port.receive_seconds(1));
        ASSERT_FALSE(seen.time_packets.empty());
        last_seen = seen.second_of_day(seen.time_packets.size() - 1);
        ASSERT_EQ(ioctl(port.fd(), TIOCEXCL), 0);
    }
    // 0.6 s closed = 6 board seconds or more; the kernel alone would keep some of them.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    // No flush of our own: the simulator empties the line when it sees the open.
    Port port(sim.device_path(), false);
    ASSERT_TRUE(port.is_open());
    ASSERT_TRUE(wait_until([&] { return sim.line_resets() >= resets + 3; }));  // open, close, open
    int exclusive = 1;
    ASSERT_EQ(ioctl(port.fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    const auto seconds = split(port.receive_seconds(1));
    ASSERT_FALSE(seconds.time_packets.empty());
    EXPECT_GE(seconds.second_of_day(0), last_seen + 5);
    // The board never runs ahead of real time at its speed factor.
    EXPECT_LE(seconds.second_of_day(0) - last_seen,
              std::chrono::duration<double>(Clock::now() - started).count() * 10 + 2);
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
