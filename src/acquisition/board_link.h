#pragma once
// The serial link to the A/D board: opening the port at the board's speed,
// the commands of the board protocol, and the few exchanges that wait for a
// reply (identification, EEPROM reads and writes, the LX1500 start
// sequence).
//
// Every wait lets the window system run (windows keep painting) but never
// spins: it sleeps in the event pump a few milliseconds at a time and
// measures the time on the clock. Callers that react to port events must
// check busy() and leave the port alone while an exchange is waiting.

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "platform/serial_port.h"
#include "supervision/error_report.h"
#include "supervision/event_list.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::acquisition {

// The commands of the board protocol, byte for byte. Command bytes 0x81 to
// 0x86 have the high bit set; parameter bytes are raw 8-bit values.
namespace board_command {

// Seven 0x40, then 0x81 and five 0x00. The board answers "V" and three digits.
std::string identify();
// 0x84 and five 0x00: every channel off.
std::string stop();
// "DUMMY", 0x84, one divisor byte per channel (channels 1-4), 0x00.
std::string start(std::string_view rate_command);
// 0x86, the address, four 0x00. The board answers 0x86 and the byte.
std::string read_eeprom(int address);
// 0x85, the four trimming bytes, 0x00.
std::string write_trim(const std::array<std::uint8_t, 4>& bytes);
// 0x82 and the time-zone correction as a two's-complement byte, five times
// (-1 is 0xFF, -12 is 0xF4).
std::string set_time_zone(int hours);
// 0x83, seconds, minutes, hours (binary), 0x00, 0x00.
std::string set_clock(int hours, int minutes, int seconds);

// The N.E. LX1500 speaks plain ASCII without terminator.
inline constexpr std::string_view lx_go = "G0T1";
inline constexpr std::string_view lx_standby = "STBY";
inline constexpr std::string_view lx_done = "DONE";

}  // namespace board_command

// Line settings of the two ORDA speeds and of the text boards.
inline constexpr std::string_view line_14400 = "14400,n,8,1";
inline constexpr std::string_view line_38400 = "38400,n,8,1";
inline constexpr std::string_view line_infiltec = "9600,n,8,1";
inline constexpr std::string_view line_lx1500 = "19200,n,8,1";

// Two upper-case hexadecimal digits.
std::string hex_byte(std::uint8_t value);
// Four bytes from 8 hexadecimal digits (either case); false for anything else.
bool parse_hex_bytes(std::string_view text, std::array<std::uint8_t, 4>* bytes);

// What the link needs from the program.
struct BoardLinkContext {
    platform::SerialPort& serial;
    const platform::Clock& clock;
    platform::EventPump& pump;
    platform::Dialogs& dialogs;
    supervision::EventList& event_list;
    supervision::ErrorReport& error_report;
    int& error_location;  // the step code handed to the error report
};

class BoardLink {
public:
    // Identify attempts of open_board_port, alternating 38400 and 14400.
    static constexpr int identify_attempts = 5;
    // Changes of the PC second an attempt waits for the reply.
    static constexpr int seconds_per_attempt = 4;
    // An EEPROM byte that has not arrived after this long is given up.
    static constexpr std::int64_t eeprom_timeout_ms = 5000;
    // Longest sleep in the event pump while waiting for the board.
    static constexpr int wait_slice_ms = 10;
    static constexpr int error_location_port_open = 3010;

    explicit BoardLink(BoardLinkContext context);

    // Opens the port for an ORDA board and finds its speed: identify at
    // 38400, then 14400, and so on, five attempts in all, each waited for
    // during four changes of the PC second. Returns the version reply ("V"
    // and three digits, whatever came before it dropped), or "" when no
    // board answered. The port stays open at the speed of the last attempt.
    std::string open_board_port();

    // Stops the board and reads its clock trimming (EEPROM 1-4) as 8
    // hexadecimal digits; "" when the board does not answer. With
    // `with_serial` = 1 the serial number (EEPROM 16-19, 8 hexadecimal
    // digits, or "" after a time-out) is put into `ad_serial` too.
    std::string read_board_eeprom(int with_serial, std::string* ad_serial = nullptr);

    // Writes four trimming bytes and reads them back. True when the board
    // holds exactly those bytes afterwards.
    bool write_clock_trim(int b1, int b2, int b3, int b4);

    // Waits `seconds` while the windows keep painting.
    void busy_wait(double seconds);

    // Writes a command in one write. False when the port is closed or
    // refused the bytes.
    bool send_command(std::string_view bytes);

    // "G0T1", "STBY", "G0T1", "G0T1", "DONE" with their pauses, a last pause
    // of 2 s and a flush of what the board sent meanwhile.
    void send_lx1500_start_sequence();

    // A long exchange is waiting for the board (the port belongs to it).
    bool busy() const { return busy_depth_ > 0; }

    // Ends every wait at once and makes the exchanges give up, until
    // clear_cancel(): STOP pressed while the board is being prepared.
    void cancel() { cancelled_ = true; }
    void clear_cancel() { cancelled_ = false; }
    bool cancelled() const { return cancelled_; }

private:
    struct BusyScope {
        explicit BusyScope(BoardLink& link) : link_(link) { ++link_.busy_depth_; }
        ~BusyScope() { --link_.busy_depth_; }
        BoardLink& link_;
    };

    // One EEPROM byte; false after the time-out.
    bool read_eeprom_byte(int address, std::uint8_t* value);
    // Sleeps one slice in the event pump.
    void wait_slice(int max_ms = wait_slice_ms);
    // Closes, sets the speed and opens; reports a refused open.
    bool reopen_at(std::string_view line_settings);

    BoardLinkContext context_;
    int busy_depth_ = 0;
    bool cancelled_ = false;
};

}  // namespace tw::acquisition
