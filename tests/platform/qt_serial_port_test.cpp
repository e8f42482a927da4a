// The Qt serial port against a real pseudo-terminal: the test holds the
// master side and plays the board; the port opens the slave side.

#include "platform/qt/qt_serial_port.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <chrono>
#include <ctime>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace tw::platform {
namespace {

using Clock = std::chrono::steady_clock;

class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            slave_path_ = ::ptsname(master_);
    }
    ~PseudoTerminal() { close_master(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return master_ >= 0 && !slave_path_.empty(); }
    const std::string& slave_path() const { return slave_path_; }

    void send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(master_, bytes.data(), bytes.size());
            if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR) return;
        }
    }

    // What the port wrote, until `count` bytes came or the time is up.
    std::string receive(std::size_t count, int timeout_ms = 2000) {
        std::string got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (got.size() < count && Clock::now() < deadline) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 10) == 1 && (p.revents & POLLIN)) {
                char buffer[4096];
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return got;
    }

    // The line settings the port set, as the other side sees them.
    termios2 line() const {
        termios2 settings{};
        ::ioctl(master_, TCGETS2, &settings);
        return settings;
    }

    void close_master() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string slave_path_;
};

// Waits for `done` (false when the time is up first), running the event loop
// in short slices or, without it, leaving only the kernel to move bytes.
bool wait_for(const std::function<bool()>& done, bool run_events, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        if (!run_events) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
bool run_events_until(const std::function<bool()>& done, int timeout_ms = 2000) {
    return wait_for(done, true, timeout_ms);
}
bool wait_without_events(const std::function<bool()>& done) { return wait_for(done, false, 2000); }
void run_events_for(int ms) { run_events_until([] { return false; }, ms); }

// Counts the times the event loop wakes up while it lives: the loop's own
// count, which no other thread or lock of the kernel can add to.
class WakeUps {
public:
    WakeUps()
        : connection_(QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                                       [this] { ++count_; })) {}
    ~WakeUps() { QObject::disconnect(connection_); }
    int count() const { return count_; }

private:
    int count_ = 0;
    QMetaObject::Connection connection_;
};

double thread_cpu_ms() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// Runs one event loop until `quit` is called or the time is up; false when
// the time ran out.
bool run_one_loop(int timeout_ms, const std::function<void(std::function<void()> quit)>& start) {
    QEventLoop loop;
    bool timed_out = false;
    QTimer::singleShot(timeout_ms, &loop, [&] {
        timed_out = true;
        loop.quit();
    });
    start([&loop] { loop.quit(); });
    loop.exec();
    return !timed_out;
}

TEST(LineSettingsText, ReadsTheUsualFormsAndRefusesGarbledTextKeepingThePreviousSettings) {
    LineSettings s;
    ASSERT_TRUE(parse_line_settings(" 38400 , E , 7 , 2 ", &s));
    EXPECT_EQ(std::tuple(s.speed, s.parity, s.data_bits, s.stop_bits), std::tuple(38400, 'e', 7, 2));
    for (const char* good : {"14400,n,8,1", "57600,o,8,1"}) {  // any positive speed
        ASSERT_TRUE(parse_line_settings(good, &s));
        EXPECT_EQ(line_settings_text(s), good);
    }
    QtSerialPort port;
    ASSERT_TRUE(port.set_line_settings("19200,n,8,1"));
    for (const char* bad : {"", "9600", "9600,n,8", "9600,n,8,1,1", "abc,n,8,1", "0,n,8,1",
                            "-9600,n,8,1", "9600x,n,8,1", "9600,x,8,1", "9600,nn,8,1",
                            "9600,n,9,1", "9600,n,4,1", "9600,n,8,3", "9600,n,8,1.5",
                            "99999999999,n,8,1", ",,,"}) {
        EXPECT_FALSE(port.set_line_settings(bad)) << bad;
    }
    EXPECT_EQ(port.line_settings(), "19200,n,8,1");
}

TEST(QtSerialPortDevice, PortNumbersNameTtySUnlessADeviceIsGivenAndAMissingOneSaysWhy) {
    QtSerialPort port;
    port.set_port_number(4);
    EXPECT_EQ(std::pair(port.port_number(), port.device_name()), std::pair(4, std::string("/dev/ttyS3")));
    QtSerialPort overridden("/dev/tw-no-such-device");
    overridden.set_port_number(1);
    EXPECT_EQ(overridden.device_name(), "/dev/tw-no-such-device");
    EXPECT_EQ(overridden.input_buffer_size(), 16384);
    std::string error;
    EXPECT_FALSE(overridden.open(&error) || overridden.is_open() || overridden.write("x"));
    EXPECT_EQ(error, "cannot open /dev/tw-no-such-device: No such file or directory");
    EXPECT_EQ(std::pair(overridden.bytes_waiting(), overridden.read()), std::pair(0, std::string()));
}

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty_.ok()) << "no pseudo-terminal available";
        port_ = std::make_unique<QtSerialPort>(pty_.slave_path());
    }
    void open_port() {
        std::string error;
        ASSERT_TRUE(port_->open(&error)) << error;
        ASSERT_TRUE(port_->is_open());
    }

    PseudoTerminal pty_;
    std::unique_ptr<QtSerialPort> port_;
};

TEST_F(PtyPort, LineSettingsReachTheOtherSideAtTheNextOpenIncludingCustomSpeeds) {
    for (int speed : {9600, 14400, 19200, 38400}) {
        SCOPED_TRACE(speed);
        ASSERT_TRUE(port_->set_line_settings(std::to_string(speed) + ",n,8,1"));
        open_port();
        const termios2 line = pty_.line();
        EXPECT_EQ(std::tuple(line.c_ospeed, line.c_ispeed), std::tuple(unsigned(speed), unsigned(speed)));
        EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<unsigned>(CS8));
        if (speed != 38400) port_->close();
    }
    // Changed while open: at the next open.
    ASSERT_TRUE(port_->set_line_settings("19200,o,7,2"));
    EXPECT_EQ(pty_.line().c_ospeed, 38400u);
    port_->close();
    open_port();
    const termios2 line = pty_.line();
    EXPECT_EQ(line.c_ospeed, 19200u);
    // A pseudo-terminal always keeps 8 data bits and clears PARENB itself;
    // the odd-parity flag and the stop bits show what the port asked for.
    EXPECT_EQ(line.c_cflag & (PARODD | CSTOPB), static_cast<unsigned>(PARODD | CSTOPB));
}

TEST_F(PtyPort, ASecondOpenFailsAndSaysSoAndCloseAlwaysSucceeds) {
    port_->close();  // closed: nothing happens
    open_port();
    QtSerialPort other(pty_.slave_path());
    std::string error;
    EXPECT_FALSE(other.open(&error));
    EXPECT_EQ(error.rfind("cannot open " + pty_.slave_path() + ": ", 0), 0u) << error;
    EXPECT_NE(error.find("busy"), std::string::npos) << error;
    port_->close();
    EXPECT_FALSE(port_->is_open() || port_->write("x"));
    open_port();
    EXPECT_TRUE(port_->write("y"));
    EXPECT_EQ(pty_.receive(1), "y");
}

TEST_F(PtyPort, BytesWaitingCountsKernelBytesBeforeTheEventLoopRunsAndFlushDiscardsBoth) {
    open_port();
    EXPECT_EQ(port_->bytes_waiting(), 0);
    pty_.send("0123456789");
    EXPECT_TRUE(wait_without_events([&] { return port_->bytes_waiting() == 10; })) << port_->bytes_waiting();
    // Some bytes in the port's buffer, more in the kernel: both count, in order.
    run_events_for(20);
    pty_.send("abc");
    EXPECT_TRUE(wait_without_events([&] { return port_->bytes_waiting() == 13; })) << port_->bytes_waiting();
    EXPECT_EQ(port_->read_available(100), "0123456789abc");
    EXPECT_EQ(port_->bytes_waiting(), 0);

    pty_.send("old bytes in Qt's buffer");
    ASSERT_TRUE(run_events_until([&] { return port_->bytes_waiting() == 24; }));
    pty_.send("and in the kernel");
    ASSERT_TRUE(wait_without_events([&] { return port_->bytes_waiting() == 41; }));
    port_->flush_input();
    EXPECT_EQ(port_->bytes_waiting(), 0);
    EXPECT_EQ(port_->read_available(100), "");
    pty_.send("new");
    ASSERT_TRUE(wait_without_events([&] { return port_->bytes_waiting() == 3; }));
    EXPECT_EQ(port_->read_available(100), "new");
}

TEST_F(PtyPort, ReadReturnsAtMostTheReadLengthNeverTwiceAndNeverWaits) {
    port_->set_read_length(4);
    open_port();
    pty_.send("0123456789");
    ASSERT_TRUE(wait_without_events([&] { return port_->bytes_waiting() == 10; }));
    EXPECT_EQ(port_->read(), "0123");
    EXPECT_EQ(port_->bytes_waiting(), 6);
    EXPECT_EQ(port_->read_available(3), "456");
    EXPECT_EQ(port_->read(), "789");
    // Nothing waits: an empty answer at once (a read that waited for data
    // would wait for ever here).
    const auto start = Clock::now();
    EXPECT_EQ(port_->read(), "");
    EXPECT_EQ(port_->read_available(100), "");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));

    port_->set_read_length(1);
    pty_.send(std::string("\x00\xff\x80", 3));
    ASSERT_TRUE(wait_without_events([&] { return port_->bytes_waiting() == 3; }));
    for (const char byte : {'\x00', '\xff', '\x80'}) EXPECT_EQ(port_->read(), std::string(1, byte));
}

TEST_F(PtyPort, WritesReachTheOtherSideInOrderWithoutTheEventLoop) {
    open_port();
    EXPECT_TRUE(port_->write(std::string("\x81\x00", 2)));
    EXPECT_TRUE(port_->write("ID?"));
    EXPECT_TRUE(port_->write(""));
    EXPECT_EQ(pty_.receive(5), std::string("\x81\x00ID?", 5));

    std::string big;
    for (int i = 0; i < 20000; ++i) big += static_cast<char>(i % 251);
    EXPECT_TRUE(port_->write(big));
    std::string got;
    ASSERT_TRUE(run_events_until([&] {
        got += pty_.receive(big.size() - got.size(), 1);
        return got.size() == big.size();
    }, 30000));
    EXPECT_EQ(got, big);
}

// Bursts as the board sends them at its fastest, one every 10 ms from
// another thread. However the two threads are scheduled, two notifications
// are always a hold apart, and the loop wakes at most twice for each: at the
// end of a hold and, when the line was quiet then, for the next byte. A port
// that announced every burst, or woke for each, breaks one or the other.
TEST_F(PtyPort, BurstsAreAnnouncedInBatchesEachByteOnce) {
    open_port();
    constexpr int bursts = 50;
    std::string sent;
    for (int i = 0; i < bursts * 24; ++i) sent += static_cast<char>((i * 13) % 256);
    std::string received;
    std::vector<Clock::time_point> calls;
    std::string failure;
    std::function<void()> quit;
    port_->set_data_ready_handler([&] {
        calls.push_back(Clock::now());
        received += port_->read_available(100000);
        if (received.size() >= sent.size() && quit) quit();
    });
    port_->set_failure_handler([&](const std::string& text) {
        failure = text;
        if (quit) quit();
    });
    std::thread board;
    const WakeUps wake_ups;
    const bool all_came = run_one_loop(60000, [&](std::function<void()> stop) {
        quit = std::move(stop);
        board = std::thread([&] {
            for (int i = 0; i < bursts; ++i) {
                pty_.send(std::string_view(sent).substr(static_cast<std::size_t>(i) * 24, 24));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    });
    const int woken = wake_ups.count();
    board.join();
    EXPECT_EQ(failure, "");
    ASSERT_TRUE(all_came) << received.size() << " of " << sent.size() << " received, "
                          << port_->bytes_waiting() << " waiting, " << calls.size() << " calls";
    EXPECT_EQ(received, sent);
    EXPECT_EQ(port_->bytes_waiting(), 0);
    // A coarse timer may fire up to 5 % early.
    const auto hold = std::chrono::microseconds(QtSerialPort::data_ready_hold_ms * 950);
    for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_GE(calls[i] - calls[i - 1], hold) << i;
    EXPECT_LE(woken, 2 * static_cast<int>(calls.size()) + 3) << calls.size() << " calls";
}

TEST_F(PtyPort, AnIdleLineWakesNobodyEvenWithBytesLeftUnread) {
    open_port();
    std::string received;
    int calls = 0;
    port_->set_data_ready_handler([&] {
        ++calls;
        // As the engine: only whole 4-byte units are taken.
        while (port_->bytes_waiting() >= 4) received += port_->read_available(4);
    });
    pty_.send("0123ab");
    ASSERT_TRUE(run_events_until([&] { return calls == 1; }));
    EXPECT_EQ(received, "0123");
    // "ab" stays unread; no new byte comes, so nothing is announced again,
    // no timer runs and the loop sleeps.
    const double cpu_before = thread_cpu_ms();
    {
        const WakeUps wake_ups;
        run_one_loop(10 * QtSerialPort::data_ready_hold_ms, [](auto) {});
        EXPECT_LE(wake_ups.count(), 3);
    }
    EXPECT_LT(thread_cpu_ms() - cpu_before, 20.0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(port_->bytes_waiting(), 2);

    // The next bytes are announced, after the older ones.
    pty_.send("cd");
    ASSERT_TRUE(run_events_until([&] { return calls == 2; }));
    EXPECT_EQ(received, "0123abcd");
    run_events_for(3 * QtSerialPort::data_ready_hold_ms);
    EXPECT_EQ(calls, 2);
}

TEST(PtyHangUp, ClosesThePortAndIsReportedOnceFromTheEventLoop) {
    for (const bool reading : {true, false}) {
        SCOPED_TRACE(reading);
        PseudoTerminal pty;
        QtSerialPort port(pty.slave_path());
        ASSERT_TRUE(port.open(nullptr));
        std::vector<std::string> failures;
        port.set_failure_handler([&](const std::string& text) { failures.push_back(text); });
        port.set_data_ready_handler([&] { port.read_available(100); });
        if (reading) {
            pty.send("last words");
            ASSERT_TRUE(run_events_until([&] { return port.bytes_waiting() == 0; }));
        }
        pty.close_master();
        if (!reading) {
            // Seen at once by a poll, reported from the event loop.
            EXPECT_EQ(port.bytes_waiting(), 0);
            EXPECT_FALSE(port.is_open());
            EXPECT_TRUE(failures.empty());
        }
        ASSERT_TRUE(run_events_until([&] { return !failures.empty(); }));
        EXPECT_FALSE(port.is_open());
        EXPECT_EQ(failures[0],
                  "lost the connection to " + pty.slave_path() + ": the device hung up (unplugged or closed)");
        // The dead device is closed, not polled: the loop now sleeps.
        const double cpu_before = thread_cpu_ms();
        run_events_for(200);
        EXPECT_LT(thread_cpu_ms() - cpu_before, 50.0);
        EXPECT_EQ(failures.size(), 1u);
        EXPECT_EQ(port.read(), "");
        EXPECT_FALSE(port.write("x"));
    }
}

TEST_F(PtyPort, ClosingFromTheDataReadyHandlerIsSafe) {
    open_port();
    port_->set_data_ready_handler([&] { port_->close(); });
    pty_.send("x");
    ASSERT_TRUE(run_events_until([&] { return !port_->is_open(); }));
    run_events_for(20);
    open_port();
}

}  // namespace
}  // namespace tw::platform
