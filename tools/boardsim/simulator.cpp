#include "boardsim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "boardsim/board.h"
#include "boardsim/board_time.h"
#include "boardsim/line_speed.h"

namespace tw::boardsim {

namespace {

double steady_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string errno_text() { return std::strerror(errno); }

// The PC's local time as board seconds plus the fraction of the current second.
std::pair<std::int64_t, double> local_board_time() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const std::int64_t seconds =
        days_from_civil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * seconds_per_day +
        local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    return {seconds, static_cast<double>(now.tv_nsec) / 1e9};
}

// "HH:MM:SS.mmm" of the PC's local time.
std::string local_time_with_millis() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.tv_nsec / 1000000));
    return text;
}

// Output waiting for the program to read it is capped: beyond this the board
// loses data like a real line whose receiver does not keep up.
constexpr std::size_t max_backlog_bytes = 64 * 1024;
// Output that nobody reads for this long is lost, as on a real line whose
// port is closed or whose reader hangs: the backlog and the slave's input
// queue are emptied, so that a program opening the port later does not get
// old packets.
constexpr double stall_drop_s = 2.0;
// Shortest sleep of the board thread: output goes out in bursts at least this
// far apart, so 4 x 200 samples per second cost ~100 wake-ups, not 800.
constexpr int min_poll_ms = 10;

}  // namespace

struct Simulator::Impl {
    explicit Impl(SimulatorOptions o) : options(std::move(o)), accepted(options.accepted_speeds()) {}

    SimulatorOptions options;
    std::vector<int> accepted;
    std::unique_ptr<Board> board;
    std::thread thread;
    std::atomic<bool> stop_requested{false};
    std::atomic<bool> running{false};
    std::atomic<unsigned> line_resets{0};
    int wake_fd = -1;

    mutable std::mutex path_mutex;
    std::string slave;  // guarded by path_mutex

    // Owned by the board thread while running.
    int master = -1;
    int keep = -1;  // our own slave descriptor: keeps the line up between opens by the program
    int notify = -1;  // inotify on the slave: tells when the program opens or closes it
    std::FILE* log = nullptr;
    std::FILE* record = nullptr;
    std::vector<std::uint8_t> backlog;
    std::size_t backlog_sent = 0;
    std::uint64_t bytes_queued = 0;   // since start, for matching record entries
    std::uint64_t bytes_written = 0;
    struct RecordEntry {
        std::uint64_t end;  // bytes_queued after the sample's packet
        OutputPacket sample;
    };
    std::deque<RecordEntry> unsent_samples;
    std::int64_t record_second = INT64_MIN;
    std::string record_second_text;
    double last_record_flush = 0;
    double last_progress = 0;  // last time the backlog was empty or shrank
    bool unplugged = false;
    bool unplug_done = false;
    double replug_at = 0;
    unsigned link_counter = 0;

    bool open_pty(std::string* error);
    void close_pty();
    bool update_link(std::string* error);
    bool speed_accepted() const;
    void run();
    void queue_output(std::vector<OutputPacket>& packets);
    void write_backlog(double now);
    void drop_backlog();
    void write_record_line(const OutputPacket& sample);
    void log_commands(const std::vector<Command>& commands);
    void read_input(double now, std::vector<OutputPacket>& out);
    void close_files();
    void handle_open_close();
};

Simulator::Simulator(SimulatorOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator() { stop(); }

bool Simulator::running() const { return impl_->running; }

std::string Simulator::slave_path() const {
    std::lock_guard lock(impl_->path_mutex);
    return impl_->slave;
}

unsigned Simulator::line_resets() const { return impl_->line_resets; }

std::string Simulator::device_path() const {
    if (!impl_->options.link_path.empty()) return impl_->options.link_path;
    return slave_path();
}

bool Simulator::Impl::open_pty(std::string* error) {
    const int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0) {
        if (error) *error = "cannot open a pseudo-terminal: " + errno_text();
        return false;
    }
    char name[128];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0 ||
        fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK) != 0) {
        if (error) *error = "cannot set up the pseudo-terminal: " + errno_text();
        ::close(m);
        return false;
    }
    const int k = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (k < 0) {
        if (error) *error = std::string("cannot open ") + name + ": " + errno_text();
        ::close(m);
        return false;
    }
    // Raw line: no echo (it would send the program's commands back to it),
    // no line editing, no character translation.
    termios settings{};
    tcgetattr(k, &settings);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    tcsetattr(k, TCSANOW, &settings);
    set_line_speed(k, accepted.empty() ? 38400 : accepted.back());
    // Opens and closes of the slave by the program (ours came before the watch).
    notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify >= 0 && inotify_add_watch(notify, name, IN_OPEN | IN_CLOSE) < 0) {
        ::close(notify);
        notify = -1;
    }
    master = m;
    keep = k;
    {
        std::lock_guard lock(path_mutex);
        slave = name;
    }
    return update_link(error);
}

void Simulator::Impl::close_pty() {
    if (notify >= 0) ::close(notify);
    if (keep >= 0) ::close(keep);
    if (master >= 0) ::close(master);
    notify = keep = master = -1;
}

// A real serial port starts empty when it is opened and loses what arrives
// while it is closed. A pty keeps both, so whenever the program opens or
// closes the slave, what is waiting for it is thrown away. A close also
// lifts exclusive use (TIOCEXCL), which on a pty would otherwise outlive a
// program killed without closing its port.
void Simulator::Impl::handle_open_close() {
    alignas(inotify_event) char buffer[1024];
    unsigned seen = 0;
    bool closed = false;
    for (;;) {
        const ssize_t n = ::read(notify, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            ++seen;
            closed = closed || (event->mask & IN_CLOSE) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (!seen || keep < 0) return;
    drop_backlog();
    tcflush(keep, TCIFLUSH);
    if (closed) ioctl(keep, TIOCNXCL);
    line_resets += seen;
}

bool Simulator::Impl::update_link(std::string* error) {
    if (options.link_path.empty()) return true;
    // A new link under a temporary name, then renamed over the old one, so
    // that the path always points somewhere.
    const std::string temporary = options.link_path + ".new" + std::to_string(::getpid()) + "-" +
                                  std::to_string(link_counter++);
    ::unlink(temporary.c_str());
    std::string target;
    {
        std::lock_guard lock(path_mutex);
        target = slave;
    }
    if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
        ::rename(temporary.c_str(), options.link_path.c_str()) != 0) {
        const std::string why = errno_text();
        ::unlink(temporary.c_str());
        if (error) *error = "cannot make the link " + options.link_path + ": " + why;
        return false;
    }
    return true;
}

bool Simulator::start(std::string* error) {
    Impl& s = *impl_;
    if (s.running) {
        if (error) *error = "the simulator is already running";
        return false;
    }
    auto fail = [&](const std::string& message) {
        if (error) *error = message;
        s.close_files();
        s.close_pty();
        if (s.wake_fd >= 0) ::close(s.wake_fd);
        s.wake_fd = -1;
        return false;
    };
    if (!s.options.log_path.empty()) {
        s.log = std::fopen(s.options.log_path.c_str(), "w");
        if (!s.log) return fail("cannot open the log file " + s.options.log_path + ": " + errno_text());
    }
    if (!s.options.record_path.empty()) {
        s.record = std::fopen(s.options.record_path.c_str(), "w");
        if (!s.record) {
            return fail("cannot open the record file " + s.options.record_path + ": " + errno_text());
        }
    }
    std::string why;
    if (!s.open_pty(&why)) return fail(why);
    s.wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (s.wake_fd < 0) return fail("cannot create an event descriptor: " + errno_text());

    // The board clock starts at --start, or at the PC's local time with its
    // seconds ticking together with the PC's.
    const double now = steady_seconds();
    std::int64_t first_second = 0;
    double first_boundary = now;
    if (s.options.start_time) {
        first_second = *s.options.start_time;
    } else {
        const auto [seconds, fraction] = local_board_time();
        first_second = seconds + 1;
        first_boundary = now + (1.0 - fraction) / s.options.speed_factor;
    }
    s.board = std::make_unique<Board>(s.options, first_second, first_boundary);
    s.backlog.clear();
    s.backlog_sent = 0;
    s.unsent_samples.clear();
    s.unplugged = s.unplug_done = false;
    s.last_record_flush = now;
    s.last_progress = now;
    s.stop_requested = false;
    s.running = true;
    s.thread = std::thread([&s] { s.run(); });
    return true;
}

void Simulator::stop() {
    Impl& s = *impl_;
    if (!s.thread.joinable()) return;
    s.stop_requested = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(s.wake_fd, &one, sizeof one);
    s.thread.join();
    s.running = false;
    s.close_files();
    if (!s.options.link_path.empty()) {
        char target[256];
        const ssize_t n = ::readlink(s.options.link_path.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == slave_path()) {
            ::unlink(s.options.link_path.c_str());
        }
    }
    s.close_pty();
    ::close(s.wake_fd);
    s.wake_fd = -1;
}

void Simulator::Impl::close_files() {
    if (log) std::fclose(log);
    if (record) std::fclose(record);
    log = record = nullptr;
}

bool Simulator::Impl::speed_accepted() const {
    if (accepted.empty()) return true;
    const int speed = read_line_speed(master);
    return std::find(accepted.begin(), accepted.end(), speed) != accepted.end();
}

void Simulator::Impl::queue_output(std::vector<OutputPacket>& packets) {
    // At a wrong line speed the program would only see garbage: nothing is
    // sent. While unplugged nothing can be.
    if (packets.empty() || unplugged || !speed_accepted()) {
        packets.clear();
        return;
    }
    for (const OutputPacket& packet : packets) {
        if (backlog.size() - backlog_sent + packet.size > max_backlog_bytes) continue;  // lost
        backlog.insert(backlog.end(), packet.bytes.begin(), packet.bytes.begin() + packet.size);
        bytes_queued += packet.size;
        if (packet.channel != 0 && record) unsent_samples.push_back(RecordEntry{bytes_queued, packet});
    }
    packets.clear();
}

void Simulator::Impl::write_backlog(double now) {
    if (backlog_sent == backlog.size()) last_progress = now;
    while (backlog_sent < backlog.size() && master >= 0) {
        const ssize_t n = ::write(master, backlog.data() + backlog_sent, backlog.size() - backlog_sent);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN) drop_backlog();
            break;
        }
        backlog_sent += static_cast<std::size_t>(n);
        bytes_written += static_cast<std::uint64_t>(n);
        last_progress = now;
    }
    if (backlog_sent < backlog.size() && now - last_progress > stall_drop_s) {
        drop_backlog();
        if (keep >= 0) tcflush(keep, TCIFLUSH);
        last_progress = now;
    }
    while (!unsent_samples.empty() && unsent_samples.front().end <= bytes_written) {
        write_record_line(unsent_samples.front().sample);
        unsent_samples.pop_front();
    }
    if (backlog_sent == backlog.size()) {
        backlog.clear();
        backlog_sent = 0;
    } else if (backlog_sent > max_backlog_bytes / 2) {
        backlog.erase(backlog.begin(), backlog.begin() + static_cast<std::ptrdiff_t>(backlog_sent));
        backlog_sent = 0;
    }
}

void Simulator::Impl::drop_backlog() {
    bytes_written += backlog.size() - backlog_sent;  // counted as gone, never recorded
    backlog.clear();
    backlog_sent = 0;
    unsent_samples.clear();
}

void Simulator::Impl::write_record_line(const OutputPacket& sample) {
    if (!record) return;
    if (sample.board_second != record_second) {
        record_second = sample.board_second;
        record_second_text = format_board_date_time(sample.board_second);
    }
    std::fprintf(record, "%s %d %d %d\n", record_second_text.c_str(), sample.channel,
                 static_cast<int>(sample.value), sample.index);
}

void Simulator::Impl::log_commands(const std::vector<Command>& commands) {
    if (!log) return;
    for (const Command& command : commands) {
        std::string line = local_time_with_millis();
        for (const std::uint8_t byte : command.bytes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", byte);
            line += hex;
        }
        line += '\n';
        std::fputs(line.c_str(), log);
        std::fflush(log);
    }
}

void Simulator::Impl::read_input(double now, std::vector<OutputPacket>& out) {
    std::uint8_t buffer[4096];
    std::vector<Command> commands;
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        // At a wrong line speed the board cannot make sense of what comes in.
        if (!speed_accepted()) continue;
        board->receive({buffer, static_cast<std::size_t>(n)}, now, out, &commands);
    }
    log_commands(commands);
}

void Simulator::Impl::run() {
    std::vector<OutputPacket> out;
    while (!stop_requested) {
        double now = steady_seconds();
        if (unplugged && now >= replug_at) {
            std::string why;
            if (open_pty(&why)) {
                unplugged = false;
            } else {
                replug_at = now + 1.0;  // try again
            }
        } else if (!unplugged && !unplug_done && options.unplug_after && board->sampling_started_at() &&
                   now >= *board->sampling_started_at() + options.unplug_after->after_s) {
            // The cable is pulled: the program sees a hang-up.
            unplug_done = true;
            unplugged = true;
            replug_at = now + options.unplug_after->duration_s;
            drop_backlog();
            close_pty();
            // The device is gone, as a pulled USB adapter's is: the link
            // must not lead to whatever pseudo-terminal takes the old name.
            if (!options.link_path.empty()) ::unlink(options.link_path.c_str());
        }

        board->advance(now, out);
        queue_output(out);
        write_backlog(now);
        if (record && now - last_record_flush >= 1.0) {
            std::fflush(record);
            last_record_flush = now;
        }

        double wait = board->next_event_time() - now;
        if (unplugged) wait = std::min(wait, replug_at - now);
        if (!unplugged && !unplug_done && options.unplug_after && board->sampling_started_at()) {
            wait = std::min(wait, *board->sampling_started_at() + options.unplug_after->after_s - now);
        }
        const int timeout_ms = static_cast<int>(std::clamp(std::ceil(wait * 1000.0), double{min_poll_ms}, 1000.0));

        pollfd fds[3] = {{wake_fd, POLLIN, 0}, {notify, POLLIN, 0}, {master, POLLIN, 0}};
        if (backlog_sent < backlog.size()) fds[2].events |= POLLOUT;
        const nfds_t count = master >= 0 ? 3 : 1;
        const int ready = ::poll(fds, count, timeout_ms);
        if (ready < 0) continue;  // EINTR
        if (fds[0].revents & POLLIN) {
            std::uint64_t value = 0;
            [[maybe_unused]] const auto n = ::read(wake_fd, &value, sizeof value);
        }
        // Before reading: a command that came right after an open must not
        // have its reply thrown away.
        if (count == 3 && (fds[1].revents & POLLIN)) handle_open_close();
        if (count == 3 && (fds[2].revents & POLLIN)) {
            now = steady_seconds();
            read_input(now, out);
            queue_output(out);
            write_backlog(now);
        }
    }
    write_backlog(steady_seconds());
    if (record) std::fflush(record);
}

}  // namespace tw::boardsim
