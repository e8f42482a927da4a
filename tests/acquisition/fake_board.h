#pragma once
// An ORDA or text board behind a FakeSerialPort, for tests of the board link
// and the run. It answers the commands the program writes, at the speeds it
// is told to, and keeps an EEPROM. Samples are fed by the test.

#include "acquisition/board_link.h"
#include "acquisition/packet_decoder.h"
#include "fakes/fake_serial_port.h"

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tw::testing {

class FakeBoard {
public:
    explicit FakeBoard(fakes::FakeSerialPort& port) : port_(port) {
        port_.on_write = [this](std::string_view bytes) { receive(bytes); };
        set_trim(0xFF, 0xFF, 0xFF, 0x02);
        set_serial(0x00, 0x00, 0xA1, 0xB2);
    }
    ~FakeBoard() { port_.on_write = nullptr; }

    void set_trim(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) { eeprom_from(1, {a, b, c, d}); }
    void set_serial(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) { eeprom_from(16, {a, b, c, d}); }
    std::string trim_text() const {
        std::string text;
        for (std::size_t a = 1; a <= 4; ++a) text += acquisition::hex_byte(eeprom[a]);
        return text;
    }

    // What the board is like.
    std::string version = "V140";
    std::set<std::string> speeds = {"14400,n,8,1", "38400,n,8,1"};
    std::string noise_before_reply;  // sent before the version reply
    bool answers = true;             // false: a board that is switched off
    bool accepts_trim = true;        // false: EEPROM writes are lost
    std::set<int> mute_addresses;    // EEPROM reads of these get no reply
    std::array<std::uint8_t, 32> eeprom{};

    // What the program did.
    int identifies = 0;
    std::vector<std::string> identify_speeds;
    std::vector<std::string> starts;         // start commands, whole
    std::vector<std::string> text_commands;  // LX1500

private:
    void eeprom_from(std::size_t address, std::initializer_list<std::uint8_t> values) {
        for (const auto v : values) eeprom[address++] = v;
    }
    void receive(std::string_view bytes) {
        const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
        if (bytes == acquisition::board_command::identify()) {
            ++identifies;
            identify_speeds.push_back(port_.line_settings());
            if (answers && speeds.count(port_.line_settings())) port_.feed(noise_before_reply + version);
        } else if (bytes.substr(0, 5) == "DUMMY") {
            starts.emplace_back(bytes);
        } else if (bytes == "G0T1" || bytes == "STBY" || bytes == "DONE") {
            text_commands.emplace_back(bytes);
        } else if (bytes.size() == 6 && byte(0) == 0x86) {
            const int address = byte(1);
            if (answers && !mute_addresses.count(address) && address < 32)
                port_.feed(std::string{'\x86', static_cast<char>(eeprom[static_cast<std::size_t>(address)])});
        } else if (bytes.size() == 6 && byte(0) == 0x85 && answers && accepts_trim) {
            eeprom_from(1, {byte(1), byte(2), byte(3), byte(4)});
        }
    }

    fakes::FakeSerialPort& port_;
};

// A sample or time packet as the ORDA boards send it.
inline std::string sample_bytes(int channel, std::int32_t value, bool eighteen_bit) {
    const auto encoded = acquisition::encode_sample_packet(channel, value, eighteen_bit);
    return std::string(encoded.begin(), encoded.end());
}
inline std::string time_bytes(int hours, int minutes, int seconds) {
    const auto encoded = acquisition::encode_time_packet(hours, minutes, seconds, 0);
    return std::string(encoded.begin(), encoded.end());
}

}  // namespace tw::testing
