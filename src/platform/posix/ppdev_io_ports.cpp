#include "platform/posix/ppdev_io_ports.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/input.h>
#include <linux/kd.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tw::platform {

namespace {

// The timer of the PC speaker counts at this rate; the tone ioctl takes the
// divisor.
constexpr int speaker_clock_hz = 1193180;

std::string lpt_name(int lpt) { return "LPT" + std::to_string(lpt); }

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

PpdevIoPorts::PpdevIoPorts() : PpdevIoPorts(Devices{}) {}

PpdevIoPorts::PpdevIoPorts(Devices devices) : devices_(std::move(devices)) {}

PpdevIoPorts::~PpdevIoPorts() {
    for (auto& port : ports_) {
        if (port.fd >= 0) ::ioctl(port.fd, PPRELEASE);
        close_fd(port.fd);
    }
    if (speaker_.fd >= 0) speaker_tone(0, nullptr);
    close_fd(speaker_.fd);
}

bool PpdevIoPorts::fail(Device& device, const std::string& prefix, int error_number,
                        std::string* error) {
    close_fd(device.fd);
    device.error = prefix + ": " + std::strerror(error_number);
    if (error) *error = device.error;
    return false;
}

PpdevIoPorts::Device* PpdevIoPorts::parallel(int lpt, std::string* error) {
    if (lpt < 1 || lpt > 3) {
        if (error) *error = lpt_name(lpt) + ": no such parallel port (LPT1 to LPT3)";
        return nullptr;
    }
    Device& port = ports_[static_cast<std::size_t>(lpt - 1)];
    if (!port.error.empty()) {
        if (error) *error = port.error;
        return nullptr;
    }
    if (port.fd >= 0) return &port;
    const std::string& path = devices_.parallel[static_cast<std::size_t>(lpt - 1)];
    const std::string prefix = lpt_name(lpt) + ": " + path;
    port.fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (port.fd < 0) {
        fail(port, prefix, errno, error);
        return nullptr;
    }
    if (::ioctl(port.fd, PPCLAIM) != 0) {
        fail(port, prefix, errno, error);
        return nullptr;
    }
    // The data lines drive the outside circuit (a bidirectional port may
    // have been left reading).
    int forward = 0;
    ::ioctl(port.fd, PPDATADIR, &forward);
    return &port;
}

std::optional<std::uint8_t> PpdevIoPorts::read_data(int lpt, std::string* error) {
    Device* port = parallel(lpt, error);
    if (!port) return std::nullopt;
    unsigned char value = 0;
    if (::ioctl(port->fd, PPRDATA, &value) != 0) {
        fail(*port, lpt_name(lpt) + ": " + devices_.parallel[static_cast<std::size_t>(lpt - 1)],
             errno, error);
        return std::nullopt;
    }
    return value;
}

bool PpdevIoPorts::write_data(int lpt, std::uint8_t value, std::string* error) {
    Device* port = parallel(lpt, error);
    if (!port) return false;
    unsigned char byte = value;
    if (::ioctl(port->fd, PPWDATA, &byte) != 0) {
        return fail(*port,
                    lpt_name(lpt) + ": " + devices_.parallel[static_cast<std::size_t>(lpt - 1)],
                    errno, error);
    }
    return true;
}

bool PpdevIoPorts::open_speaker() {
    speaker_tried_ = true;
    std::string reasons;
    auto note = [&reasons](const std::string& path, int error_number) {
        if (!reasons.empty()) reasons += ", ";
        reasons += path + ": " + std::strerror(error_number);
    };
    // The input device takes tone events from anyone allowed to write it.
    if (!devices_.speaker_input.empty()) {
        const int fd = ::open(devices_.speaker_input.c_str(), O_WRONLY | O_CLOEXEC);
        unsigned long sounds = 0;
        if (fd < 0) {
            note(devices_.speaker_input, errno);
        } else if (::ioctl(fd, EVIOCGBIT(EV_SND, sizeof sounds), &sounds) < 0) {
            note(devices_.speaker_input, errno);
            ::close(fd);
        } else if ((sounds & (1UL << SND_TONE)) == 0) {
            note(devices_.speaker_input, ENOTSUP);
            ::close(fd);
        } else {
            speaker_.fd = fd;
            speaker_is_input_ = true;
            return true;
        }
    }
    // A virtual console sounds the speaker for its owner or a privileged user.
    for (const auto& path : devices_.consoles) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            note(path, errno);
            continue;
        }
        if (::ioctl(fd, KIOCSOUND, 0) != 0) {
            note(path, errno);
            ::close(fd);
            continue;
        }
        speaker_.fd = fd;
        speaker_is_input_ = false;
        return true;
    }
    speaker_.error = "PC speaker: " + (reasons.empty() ? std::string("no device") : reasons);
    return false;
}

bool PpdevIoPorts::speaker_tone(int frequency_hz, std::string* error) {
    if (!speaker_tried_) open_speaker();
    if (speaker_.fd < 0) {
        if (error) *error = speaker_.error;
        return false;
    }
    const int hz = frequency_hz > 0 ? frequency_hz : 0;
    bool ok = false;
    if (speaker_is_input_) {
        input_event event{};
        event.type = EV_SND;
        event.code = SND_TONE;
        event.value = hz;
        ok = ::write(speaker_.fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
    } else {
        ok = ::ioctl(speaker_.fd, KIOCSOUND, hz > 0 ? speaker_clock_hz / hz : 0) == 0;
    }
    if (!ok) return fail(speaker_, "PC speaker", errno, error);
    return true;
}

}  // namespace tw::platform
