#include "platform/qt/qt_serial_port.h"

#include <QMetaObject>
#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <poll.h>
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
    : device_override_(std::move(device_override)), port_(std::make_unique<QSerialPort>()) {
    QObject::connect(port_.get(), &QSerialPort::readyRead, port_.get(),
                     [this] { on_ready_read(); });
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
    if (port_->isOpen()) close();
    const std::string device = device_name();
    auto fail = [&](const std::string& reason) {
        if (error) *error = "cannot open " + device + ": " + reason;
        return false;
    };
    if (device_override_.empty() && port_number_ < 1)
        return fail("no serial port number " + std::to_string(port_number_));

    port_->setPortName(QString::fromStdString(device));
    port_->setBaudRate(settings_.speed);
    port_->setDataBits(static_cast<QSerialPort::DataBits>(settings_.data_bits));
    port_->setParity(qt_parity(settings_.parity));
    port_->setStopBits(settings_.stop_bits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
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
    open_device_ = device;
    ++open_serial_;
    failing_ = false;
    errors_without_data_ = 0;
    return true;
}

void QtSerialPort::close() {
    ++open_serial_;
    failing_ = false;
    if (port_->isOpen()) port_->close();
    port_->clearError();
}

bool QtSerialPort::is_open() const {
    return port_->isOpen() && !failing_;
}

int QtSerialPort::kernel_bytes_waiting() {
    int count = 0;
    if (::ioctl(port_->handle(), FIONREAD, &count) == -1) {
        if (device_gone()) schedule_failure("the device hung up (unplugged or closed)");
        return 0;
    }
    return count;
}

int QtSerialPort::bytes_waiting() {
    if (!is_open()) return 0;
    const qint64 total = port_->bytesAvailable() + kernel_bytes_waiting();
    return static_cast<int>(std::min<qint64>(total, INT_MAX));
}

void QtSerialPort::flush_input() {
    if (!is_open()) return;
    // Discards Qt's buffer and the kernel's queue alike.
    port_->clear(QSerialPort::Input);
}

void QtSerialPort::pull_from_kernel() {
    if (kernel_bytes_waiting() <= 0) return;
    // The kernel has bytes, so this returns at once; readyRead() emitted
    // from inside is not passed on, the caller is reading already.
    pulling_ = true;
    port_->waitForReadyRead(0);
    pulling_ = false;
}

std::string QtSerialPort::take(std::size_t max_bytes) {
    if (!is_open() || max_bytes == 0) return {};
    const auto wanted = static_cast<qint64>(std::min<std::size_t>(max_bytes, INT_MAX));
    if (port_->bytesAvailable() < wanted) pull_from_kernel();
    if (!is_open()) return {};
    const QByteArray bytes = port_->read(std::min(wanted, port_->bytesAvailable()));
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
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

void QtSerialPort::on_ready_read() {
    errors_without_data_ = 0;
    if (pulling_ || failing_ || !data_ready_handler_) return;
    data_ready_handler_();
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
    // A tty that lost its device (USB adapter unplugged, other end of a
    // pseudo-terminal closed) reads as end of file, which Qt reports as a
    // read error with a stale reason: look at the device instead.
    if (device_gone()) {
        schedule_failure("the device hung up (unplugged or closed)");
        return;
    }
    if (++errors_without_data_ >= max_errors_without_data)
        schedule_failure(port_->errorString().toStdString());
}

bool QtSerialPort::device_gone() const {
    const int fd = port_->handle();
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
