#pragma once

#include "platform/io_ports.h"

#include <array>
#include <string>
#include <vector>

namespace tw::platform {

// The parallel ports through the kernel's ppdev driver (/dev/parport0..2 for
// LPT1..LPT3: the port is claimed at first use and kept), and the PC speaker
// through the pcspkr input device (a tone event) or, failing that, the
// console's tone ioctl.
//
// A device that cannot be opened or does not behave as one (no such file,
// no permission, not a parallel port) fails every later call with the same
// text without being touched again: the caller reports it once.
class PpdevIoPorts : public IoPorts {
public:
    struct Devices {
        std::array<std::string, 3> parallel = {"/dev/parport0", "/dev/parport1", "/dev/parport2"};
        std::string speaker_input = "/dev/input/by-path/platform-pcspkr-event-spkr";
        std::vector<std::string> consoles = {"/dev/tty0", "/dev/console"};
    };

    PpdevIoPorts();
    explicit PpdevIoPorts(Devices devices);
    ~PpdevIoPorts() override;
    PpdevIoPorts(const PpdevIoPorts&) = delete;
    PpdevIoPorts& operator=(const PpdevIoPorts&) = delete;

    std::optional<std::uint8_t> read_data(int lpt, std::string* error) override;
    bool write_data(int lpt, std::uint8_t value, std::string* error) override;
    bool speaker_tone(int frequency_hz, std::string* error) override;

private:
    struct Device {
        int fd = -1;
        std::string error;  // set once the device proved unusable
    };
    // The claimed port, or nullptr with the reason in `error`.
    Device* parallel(int lpt, std::string* error);
    bool open_speaker();
    bool fail(Device& device, const std::string& prefix, int error_number, std::string* error);

    Devices devices_;
    std::array<Device, 3> ports_;
    Device speaker_;
    bool speaker_is_input_ = false;
    bool speaker_tried_ = false;
};

}  // namespace tw::platform
