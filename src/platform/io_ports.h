#pragma once
// Single-byte port input and output: the data register of a parallel port
// (watchdog pulse on bit 0, hardware alarm on bit 1) and the PC speaker tone.
//
// A port that cannot be used (no such device, no permission) fails with a
// text that names the port and the device ("LPT1: /dev/parport0: No such
// file or directory"); the caller reports it once and goes on without it.

#include <cstdint>
#include <optional>
#include <string>

namespace tw::platform {

class IoPorts {
public:
    virtual ~IoPorts() = default;

    // The data register of parallel port `lpt` (1..3 for LPT1..LPT3), as last
    // written. nullopt (with the reason in `error`) when the port cannot be used.
    virtual std::optional<std::uint8_t> read_data(int lpt, std::string* error) = 0;
    virtual bool write_data(int lpt, std::uint8_t value, std::string* error) = 0;

    // The PC speaker: a square wave of `frequency_hz`, or silence for 0.
    virtual bool speaker_tone(int frequency_hz, std::string* error) = 0;
};

}  // namespace tw::platform
