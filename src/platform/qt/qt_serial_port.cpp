#include "platform/qt/qt_serial_port.h"

#include <QMetaObject>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tw::platform {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool parse_int(std::string_view text, int* value) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

QSerialPort::Parity qt_parity(char parity) {
    switch (parity) {
    case 'e': return QSerialPort::EvenParity;
    case 'o': return QSerialPort::OddParity;
    case 'm': return QSerialPort::MarkParity;
    case 's': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

// A consecutive run of errors longer than this, with no byte received in
// between, means the device is no longer usable even if it still answers
// the probes of device_gone(): the port is then closed instead of spinning.
constexpr int max_errors_without_data = 50;

}  // namespace

bool parse_line_settings(std::string_view text, LineSettings* settings) {
    std::string_view fields[4];
    std::size_t count = 0;
    while (true) {
        const auto comma = text.find(',');
        if (count == 4) return false;
        fields[count++] = trimmed(text.substr(0, comma));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (count != 4) return false;

    LineSettings parsed;
    // Any positive speed is passed on: the driver sets non-standard speeds
    // such as 14400 as custom rates.
    if (!parse_int(fields[0], &parsed.speed) || parsed.speed <= 0) return false;
    if (fields[1].size() != 1) return false;
    const char parity = static_cast<char>(fields[1][0] | 0x20);  // lower case
    if (parity != 'n' && parity != 'e' && parity != 'o' && parity != 'm' && parity != 's')
        return false;
    parsed.parity = parity;
    if (!parse_int(fields[2], &parsed.data_bits) || parsed.data_bits < 5 || parsed.data_bits > 8)
        return false;
    if (!parse_int(fields[3], &parsed.stop_bits) || (parsed.stop_bits != 1 && parsed.stop_bits != 2))
        return false;
    *settings = parsed;
    return true;
}

std::string line_settings_text(const LineSettings& settings) {
    return std::to_string(settings.speed) + ',' + settings.parity + ',' +
           std::to_string(settings.data_bits) + ',' + std::to_string(settings.stop_bits);
}

QtSerialPort::QtSerialPort(std::string device_override)
    : device_override_(std::move(device_override)),
      port_(std::make_unique<QSerialPort>()),
      read_notifier_(std::make_unique<QSocketNotifier>(QSocketNotifier::Read)),
      hold_timer_(std::make_unique<QTimer>()) {
    read_notifier_->setEnabled(false);
    QObject::connect(read_notifier_.get(), &QSocketNotifier::activated, read_notifier_.get(),
                     [this] { on_readable(); });
    hold_timer_->setSingleShot(true);
    hold_timer_->setInterval(data_ready_hold_ms);
    QObject::connect(hold_timer_.get(), &QTimer::timeout, hold_timer_.get(),
                     [this] { on_hold_end(); });
    QObject::connect(port_.get(), &QSerialPort::errorOccurred, port_.get(),
                     [this](QSerialPort::SerialPortError error) { on_error(error); });
}

QtSerialPort::~QtSerialPort() {
    close();
}

void QtSerialPort::set_port_number(int number) {
    port_number_ = number;
}

std::string QtSerialPort::device_name() const {
    if (!device_override_.empty()) return device_override_;
    if (port_number_ < 1) return "/dev/ttyS?";
    return "/dev/ttyS" + std::to_string(port_number_ - 1);
}

bool QtSerialPort::set_line_settings(std::string_view settings) {
    return parse_line_settings(settings, &settings_);
}

std::string QtSerialPort::line_settings() const {
    return line_settings_text(settings_);
}

bool QtSerialPort::open(std::string* error) {
    if (port_->isOpen() || fd_ >= 0) close();
    const std::string device = device_name();
    auto fail = [&](const std::string& reason) {
        if (error) *error = "cannot open " + device + ": " + reason;
        return false;
    };
    if (device_override_.empty() && port_number_ < 1)
        return fail("no serial port number " + std::to_string(port_number_));

    // The reading descriptor is opened first: once QSerialPort holds the
    // device it is exclusive, and a further open would be refused.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return fail(err == EBUSY ? "Device or resource busy (in use by another program)"
                                 : std::generic_category().message(err));
    }

    port_->setPortName(QString::fromStdString(device));
    port_->setBaudRate(settings_.speed);
    port_->setDataBits(static_cast<QSerialPort::DataBits>(settings_.data_bits));
    port_->setParity(qt_parity(settings_.parity));
    port_->setStopBits(settings_.stop_bits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::WriteOnly)) {
        ::close(fd);
        const QSerialPort::SerialPortError kind = port_->error();
        std::string reason = port_->errorString().toStdString();
        // Qt refuses a device another program has locked with its own
        // wording; say what it means for the user.
        if (kind == QSerialPort::PermissionError &&
            port_->errorString().contains(QStringLiteral("lock"), Qt::CaseInsensitive) &&
            ::access(device.c_str(), R_OK | W_OK) == 0)
            reason = "Device or resource busy (in use by another program)";
        if (reason.empty()) reason = "unknown error";
        port_->clearError();
        return fail(reason);
    }
    port_->clearError();
    // Qt turns the receiver on only for a port it reads itself; most ports
    // have it on already, and the line speed is left as Qt set it.
    termios attributes{};
    if (::tcgetattr(fd, &attributes) == 0 && (attributes.c_cflag & CREAD) == 0) {
        attributes.c_cflag |= CREAD;
        ::tcsetattr(fd, TCSANOW, &attributes);
    }
    fd_ = fd;
    received_.clear();
    received_at_ = 0;
    unannounced_ = false;
    open_device_ = device;
    ++open_serial_;
    failing_ = false;
    errors_without_data_ = 0;
    read_notifier_->setSocket(fd_);
    read_notifier_->setEnabled(true);
    return true;
}

void QtSerialPort::close() {
    ++open_serial_;
    failing_ = false;
    hold_timer_->stop();
    read_notifier_->setEnabled(false);
    if (port_->isOpen()) port_->close();
    port_->clearError();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    received_.clear();
    received_at_ = 0;
    unannounced_ = false;
}

bool QtSerialPort::is_open() const {
    return fd_ >= 0 && port_->isOpen() && !failing_;
}

int QtSerialPort::kernel_bytes_waiting() {
    int count = 0;
    if (::ioctl(fd_, FIONREAD, &count) == -1) {
        if (device_gone()) schedule_failure("the device hung up (unplugged or closed)");
        return 0;
    }
    return count;
}

int QtSerialPort::bytes_waiting() {
    if (!is_open()) return 0;
    const std::size_t total = buffered() + static_cast<std::size_t>(kernel_bytes_waiting());
    return static_cast<int>(std::min<std::size_t>(total, INT_MAX));
}

void QtSerialPort::flush_input() {
    if (!is_open()) return;
    // Discards the port's buffer and the kernel's queue alike.
    ::tcflush(fd_, TCIFLUSH);
    received_.clear();
    received_at_ = 0;
    unannounced_ = false;
}

void QtSerialPort::drain_kernel() {
    if (kernel_bytes_waiting() <= 0) return;
    // Read bytes are dropped from the front of the buffer only now and then.
    if (received_at_ > 0 && received_at_ * 2 >= received_.size()) {
        received_.erase(0, received_at_);
        received_at_ = 0;
    }
    char chunk[4096];
    while (true) {
        const ssize_t count = ::read(fd_, chunk, sizeof chunk);
        if (count > 0) {
            received_.append(chunk, static_cast<std::size_t>(count));
            unannounced_ = true;
            errors_without_data_ = 0;
            if (static_cast<std::size_t>(count) < sizeof chunk) return;  // the queue is empty
            continue;
        }
        if (count == 0) return;  // nothing more (a raw tty reads 0 when empty)
        const int err = errno;
        if (err == EINTR) continue;
        if (err == EAGAIN || err == EWOULDBLOCK) return;
        if (device_gone()) {
            schedule_failure("the device hung up (unplugged or closed)");
        } else if (++errors_without_data_ >= max_errors_without_data) {
            schedule_failure(std::generic_category().message(err));
        }
        return;
    }
}

std::string QtSerialPort::take(std::size_t max_bytes) {
    if (!is_open() || max_bytes == 0) return {};
    if (buffered() < max_bytes) drain_kernel();
    if (!is_open()) return {};
    const std::size_t count = std::min(max_bytes, buffered());
    std::string bytes = received_.substr(received_at_, count);
    received_at_ += count;
    if (received_at_ == received_.size()) {
        received_.clear();
        received_at_ = 0;
        unannounced_ = false;  // whatever was not announced has been read
    }
    return bytes;
}

std::string QtSerialPort::read() {
    return take(read_length_ > 0 ? static_cast<std::size_t>(read_length_) : SIZE_MAX);
}

std::string QtSerialPort::read_available(std::size_t max_bytes) {
    return take(max_bytes);
}

bool QtSerialPort::write(std::string_view bytes) {
    if (!is_open()) return false;
    if (bytes.empty()) return true;
    const qint64 queued = port_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (queued != static_cast<qint64>(bytes.size())) return false;
    // Hand the bytes to the kernel now (never blocks): a caller that waits
    // for the answer in a local event loop must not depend on the loop
    // getting round to the write first.
    port_->flush();
    return true;
}

void QtSerialPort::set_data_ready_handler(std::function<void()> handler) {
    data_ready_handler_ = std::move(handler);
}

void QtSerialPort::set_failure_handler(std::function<void(const std::string&)> handler) {
    failure_handler_ = std::move(handler);
}

void QtSerialPort::on_readable() {
    read_notifier_->setEnabled(false);
    if (!is_open()) return;
    drain_kernel();
    if (!is_open()) return;
    if (unannounced_) {
        deliver_data_ready();
        return;
    }
    // Woken without data: a device that hung up says so here; anything else
    // is looked at again after a hold instead of spinning on it.
    if (device_gone()) {
        schedule_failure("the device hung up (unplugged or closed)");
        return;
    }
    hold_timer_->start();
}

void QtSerialPort::deliver_data_ready() {
    unannounced_ = false;
    const std::uint64_t serial = open_serial_;
    // A copy: the handler may replace itself.
    if (const auto handler = data_ready_handler_) handler();
    // Closed or reopened by the handler: that open watches the line itself.
    if (serial != open_serial_ || !is_open()) return;
    hold_timer_->start();
}

void QtSerialPort::on_hold_end() {
    if (!is_open()) return;
    drain_kernel();
    if (!is_open()) return;
    if (unannounced_) {
        deliver_data_ready();
        return;
    }
    // Nothing new: the kernel's queue is empty, so watching stays quiet
    // until the next byte.
    read_notifier_->setEnabled(true);
}

void QtSerialPort::on_error(int qt_error) {
    switch (static_cast<QSerialPort::SerialPortError>(qt_error)) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::NotOpenError:
    case QSerialPort::UnsupportedOperationError:
        return;
    default:
        break;
    }
    // Errors while opening are reported by open() itself.
    if (!port_->isOpen() || failing_) return;
    // Qt only writes. A tty that lost its device (USB adapter unplugged,
    // other end of a pseudo-terminal closed) fails the write with a reason
    // that need not say so: look at the device instead.
    if (device_gone()) {
        schedule_failure("the device hung up (unplugged or closed)");
        return;
    }
    if (++errors_without_data_ >= max_errors_without_data)
        schedule_failure(port_->errorString().toStdString());
}

bool QtSerialPort::device_gone() const {
    const int fd = fd_;
    if (fd < 0) return true;
    termios attributes{};
    if (::tcgetattr(fd, &attributes) == -1 &&
        (errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF))
        return true;
    pollfd probe{fd, POLLIN, 0};
    return ::poll(&probe, 1, 0) == 1 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void QtSerialPort::schedule_failure(const std::string& reason) {
    if (failing_) return;
    failing_ = true;
    const std::uint64_t serial = open_serial_;
    const std::string text = "lost the connection to " + open_device_ + ": " + reason;
    // Closed and reported from the event loop, never from inside Qt's own
    // notification or a caller's read.
    QMetaObject::invokeMethod(
        port_.get(),
        [this, serial, text] {
            if (serial != open_serial_) return;  // closed or reopened meanwhile
            close();
            if (auto handler = failure_handler_) handler(text);
        },
        Qt::QueuedConnection);
}

}  // namespace tw::platform
