#include "acquisition/board_link.h"

#include <algorithm>

namespace tw::acquisition {

namespace board_command {

namespace {
char byte(int value) { return static_cast<char>(static_cast<std::uint8_t>(value & 0xFF)); }
}  // namespace

std::string identify() {
    std::string bytes(7, '\x40');
    bytes += byte(0x81);
    bytes.append(5, '\0');
    return bytes;
}

std::string stop() {
    std::string bytes(1, byte(0x84));
    bytes.append(5, '\0');
    return bytes;
}

std::string start(std::string_view rate_command) {
    std::string bytes = "DUMMY";
    bytes += byte(0x84);
    bytes += rate_command;
    bytes += '\0';
    return bytes;
}

std::string read_eeprom(int address) {
    std::string bytes{byte(0x86), byte(address)};
    bytes.append(4, '\0');
    return bytes;
}

std::string write_trim(const std::array<std::uint8_t, 4>& trim) {
    std::string bytes(1, byte(0x85));
    for (const auto b : trim) bytes += byte(b);
    bytes += '\0';
    return bytes;
}

std::string set_time_zone(int hours) {
    // A negative correction h goes out as 256 - |h|.
    const int value = hours < 0 ? 256 - std::min(-hours, 255) : std::min(hours, 255);
    std::string bytes(1, byte(0x82));
    bytes.append(5, byte(value));
    return bytes;
}

std::string set_clock(int hours, int minutes, int seconds) {
    return std::string{byte(0x83), byte(seconds), byte(minutes), byte(hours), '\0', '\0'};
}

}  // namespace board_command

std::string hex_byte(std::uint8_t value) {
    constexpr char digits[] = "0123456789ABCDEF";
    return std::string{digits[value >> 4], digits[value & 0x0F]};
}

bool parse_hex_bytes(std::string_view text, std::array<std::uint8_t, 4>* bytes) {
    if (text.size() != 8) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::array<std::uint8_t, 4> out{};
    for (std::size_t i = 0; i < 4; ++i) {
        const int high = digit(text[2 * i]);
        const int low = digit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    if (bytes) *bytes = out;
    return true;
}

BoardLink::BoardLink(BoardLinkContext context) : context_(context) {}

void BoardLink::wait_slice(int max_ms) {
    context_.pump.process_events(std::max(1, max_ms));
}

bool BoardLink::reopen_at(std::string_view line_settings) {
    auto& port = context_.serial;
    port.close();
    port.set_line_settings(line_settings);
    std::string error;
    if (port.open(&error)) return true;
    context_.error_report.report(supervision::error_number::port_not_available,
                                 error_location_port_open, "COMPORTOPEN", error);
    return false;
}

std::string BoardLink::open_board_port() {
    const BusyScope busy(*this);
    auto& port = context_.serial;
    if (port.is_open()) port.close();
    port.set_read_mode(platform::SerialPort::ReadMode::binary);
    port.set_read_length(1);
    port.set_line_settings(line_14400);
    port.flush_input();
    bool at_14400 = true;

    int attempts = 0;
    int seconds_seen = seconds_per_attempt;  // the first pass sends at once
    int noted_second = -1;
    std::string reply;
    bool found = false;
    while (attempts < identify_attempts && !cancelled_) {
        context_.error_location = error_location_port_open;
        if (seconds_seen >= seconds_per_attempt) {
            seconds_seen = 0;
            reply.clear();
            at_14400 = !at_14400;
            ++attempts;
            if (!reopen_at(at_14400 ? line_14400 : line_38400)) {
                // Nothing can answer on a port that did not open: the next
                // attempt follows at once.
                seconds_seen = seconds_per_attempt;
                continue;
            }
            port.flush_input();
            send_command(board_command::identify());
        }

        // The reply is "V" and three digits; anything else (packets of a
        // board still sampling, line noise, a stray "V") is dropped.
        while (!found && port.bytes_waiting() > 0) {
            const std::string bytes = port.read_available(64);
            if (bytes.empty()) break;
            for (const char c : bytes) {
                if (c == 'V') {
                    // (assign, not = "V": g++ 12 warns falsely on the literal)
                    reply.assign(1, 'V');
                } else if (!reply.empty() && c >= '0' && c <= '9') {
                    reply += c;
                } else {
                    reply.clear();
                }
                if (reply.size() == 4) {
                    found = true;
                    break;
                }
            }
        }
        if (found) break;

        const auto now = context_.clock.now();
        const int second = now.hour * 3600 + now.minute * 60 + now.second;
        if (second != noted_second) {
            noted_second = second;
            ++seconds_seen;
        }
        wait_slice();
    }
    return found ? reply : std::string();
}

bool BoardLink::read_eeprom_byte(int address, std::uint8_t* value) {
    auto& port = context_.serial;
    const std::int64_t start = context_.clock.monotonic_ms();
    port.flush_input();
    send_command(board_command::read_eeprom(address));
    // The reply is 0x86 and the byte; the first byte after a 0x86 is the
    // value even when it is itself 0x86.
    bool reply_seen = false;
    while (!cancelled_) {
        while (port.bytes_waiting() > 0) {
            const std::string bytes = port.read_available(64);
            if (bytes.empty()) break;
            for (const char c : bytes) {
                const auto b = static_cast<std::uint8_t>(c);
                if (reply_seen) {
                    *value = b;
                    return true;
                }
                if (b == 0x86) reply_seen = true;
            }
            if (context_.clock.monotonic_ms() - start > eeprom_timeout_ms) return false;
        }
        if (context_.clock.monotonic_ms() - start > eeprom_timeout_ms) return false;
        wait_slice();
    }
    return false;
}

std::string BoardLink::read_board_eeprom(int with_serial, std::string* ad_serial) {
    const BusyScope busy(*this);
    // Only a read that includes the serial number changes it: the trimming
    // window's reads leave the registered number alone.
    if (with_serial == 1 && ad_serial) ad_serial->clear();
    if (open_board_port().empty()) {
        if (!cancelled_) context_.event_list.append("A/D card not found at startup check");
        context_.serial.close();
        return {};
    }
    send_command(board_command::stop());
    busy_wait(1.0);

    std::string trimming;
    for (int address = 1; address <= 4; ++address) {
        std::uint8_t value = 0;
        if (!read_eeprom_byte(address, &value)) return {};
        trimming += hex_byte(value);
    }
    if (with_serial != 1) return trimming;

    std::string serial;
    for (int address = 16; address <= 19; ++address) {
        std::uint8_t value = 0;
        if (read_eeprom_byte(address, &value)) {
            serial += hex_byte(value);
        } else {
            serial.clear();
        }
    }
    if (ad_serial) *ad_serial = serial;
    return trimming;
}

bool BoardLink::write_clock_trim(int b1, int b2, int b3, int b4) {
    const BusyScope busy(*this);
    if (open_board_port().empty()) {
        if (!cancelled_)
            context_.dialogs.message_box("A/D card not found.", "TERRAWAVE",
                                         platform::DialogIcon::warning);
        context_.serial.close();
        return false;
    }
    const std::array<std::uint8_t, 4> trim = {
        static_cast<std::uint8_t>(b1), static_cast<std::uint8_t>(b2),
        static_cast<std::uint8_t>(b3), static_cast<std::uint8_t>(b4)};
    send_command(board_command::write_trim(trim));
    std::string expected;
    for (const auto b : trim) expected += hex_byte(b);
    return read_board_eeprom(0) == expected;
}

void BoardLink::busy_wait(double seconds) {
    const BusyScope busy(*this);
    const std::int64_t start = context_.clock.monotonic_ms();
    const auto wanted = static_cast<std::int64_t>(seconds * 1000.0);
    while (!cancelled_) {
        const std::int64_t elapsed = context_.clock.monotonic_ms() - start;
        if (elapsed > wanted) break;
        wait_slice(static_cast<int>(std::min<std::int64_t>(wanted - elapsed + 1, 20)));
    }
}

bool BoardLink::send_command(std::string_view bytes) {
    auto& port = context_.serial;
    if (!port.is_open()) return false;
    return port.write(bytes);
}

void BoardLink::send_lx1500_start_sequence() {
    const BusyScope busy(*this);
    busy_wait(1.0);
    send_command(board_command::lx_go);
    busy_wait(0.2);
    send_command(board_command::lx_standby);
    busy_wait(0.2);
    send_command(board_command::lx_go);
    busy_wait(0.2);
    send_command(board_command::lx_go);
    busy_wait(0.2);
    send_command(board_command::lx_done);
    busy_wait(2.0);
    context_.serial.flush_input();
}

}  // namespace tw::acquisition
