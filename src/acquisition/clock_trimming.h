#pragma once
// Clock trimming: the ORDA boards correct their sample clock by one tick
// every N ticks, N and its direction being four bytes of the board's EEPROM
// (addresses 1-4). The trimming window measures the board's sample rate
// against the synchronisations of the time receiver, turns the error into
// N, writes it to the board and reads the EEPROM back. It needs a running
// acquisition with channel 1 at 100 samples per second.

#include "acquisition/sample_path.h"
#include "config/settings.h"
#include "platform/dialogs.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tw::acquisition {

// What the trimming window shows; the window renders it when notified.
struct TrimmingModel {
    static constexpr std::string_view caption = "A/D Card Clock Trimming (use channel 1 at 100 sps)";
    // Service-mode trace lines kept in List1; the oldest go first.
    static constexpr std::size_t max_list_lines = 2000;

    std::string firsttime;        // first synchronisation of the measurement
    std::string prev_sync;        // latest synchronisation
    std::string ad_received;      // channel 1 samples counted
    std::string ad_tlapsed;       // seconds elapsed
    std::string trimmevery;       // N, or "Wait..."
    std::string dataset;          // EEPROM image to be written
    std::string eeprom;           // EEPROM bytes read, each " " + two hex digits
    std::string txt_error;        // typed error, seconds per day
    std::string txt_manual_trim;  // typed trimming bytes "C0 A8 00 01"
    std::deque<std::string> list1;

    std::function<void()> changed;
    void notify() const {
        if (changed) changed();
    }
};

// The four trimming bytes: magnitude of N (24 bits, lowest byte first) and
// the direction.
struct TrimBytes {
    std::uint8_t b1 = 0xFF, b2 = 0xFF, b3 = 0xFF;
    std::uint8_t direction = 2;  // 1 too many samples, 0 too few, 2 no correction
};

// The largest N the three bytes hold; a larger N (a clock error below
// 1 tick in 16.7 million) is written as this.
inline constexpr double max_trim_period = 16777215;

// "XX b1 b2 b3 dd XX XX XX XX" for N: the magnitude rounded, direction 01
// for N >= 0 and 00 for N < 0.
std::string eeprom_image(double trim_error);
// The bytes written for N: the magnitude rounded as the image shows it (so
// that what is read back is what was shown); direction 1, 0 when N is
// negative, 2 when N is 0.
TrimBytes trim_bytes(double trim_error);
// Four two-digit hex pairs separated by blanks ("C0 A8 00 01"); nullopt
// unless the text holds exactly four such pairs.
std::optional<TrimBytes> parse_trim_text(std::string_view text);

struct ClockTrimmingContext {
    const config::Settings& settings;
    SamplePath& sample_path;  // counts channel 1 samples (trim_sample_count)
    platform::Dialogs& dialogs;
    bool& window_open;  // trim_window_open
    // The board's firmware as identified at START ("1.40", "1.xx"; empty
    // when unknown).
    std::function<std::string()> firmware_version;
    std::function<bool()> acquisition_running;
    // Writes a command to the board; false when the port refused it.
    std::function<bool(std::string_view bytes)> send_command;
};

class ClockTrimming {
public:
    static constexpr std::string_view not_running_message =
        "Trimming needs A/D card must run at 100 SPS on channel 1.";
    static constexpr std::string_view old_firmware_message =
        "Trimming not possible for this version firmware version.";
    static constexpr std::string_view check_message = "Check the settings reading the values.";
    static constexpr std::string_view bad_manual_message =
        "Type the four trimming bytes as hexadecimal pairs separated by blanks (e.g. C0 A8 00 01).";
    static constexpr std::string_view message_title = "Clock Trimming";

    explicit ClockTrimming(ClockTrimmingContext context);

    // The window is shown / unloaded (an unloaded window forgets what it
    // showed, except the trace list).
    void activate();
    void unload();
    bool is_open() const { return context_.window_open; }

    // A new measurement starts at the next synchronisation: at every START
    // and restart of acquisition and at a manual time setting.
    void restart_measurement();

    // At each new synchronisation while the window is open.
    void measure_on_sync(const std::string& sync_time);

    // The typed error (seconds per day) changed.
    void txt_error_changed(const std::string& text);
    void txt_manual_trim_changed(const std::string& text);

    // Buttons.
    void set_trim_data_clicked();   // write the measured or typed value
    void nulltrimm_clicked();       // write "no correction"
    void cmd_manual_trim_clicked(); // write the typed bytes
    void eeread_clicked();          // read addresses 0-8

    // Every EEPROM reply packet (0x86, value, ..., terminator) arriving in
    // the acquisition loop. While a read started by eeread is in progress
    // the next address is asked for, up to address 8.
    void eeprom_reply(std::span<const std::uint8_t> packet);
    // The same with the value byte (byte 2) of the packet.
    void eeprom_reply(std::uint8_t value);

    // A diagnostic line of the event recording; kept only in service mode.
    void add_trace_line(std::string line);
    void list1_double_clicked();

    double trim_error() const { return trim_error_; }
    int eeprom_index() const { return eeprom_index_; }
    const std::string& eeprom_byte_text() const { return eeprom_byte_text_; }
    bool eeprom_read_in_progress() const { return reading_; }

    TrimmingModel& model() { return model_; }
    const TrimmingModel& model() const { return model_; }

private:
    bool check_running();
    bool check_firmware();
    void refuse(std::string_view message);
    bool send(const std::array<std::uint8_t, 6>& command);
    void show_image();

    ClockTrimmingContext context_;
    TrimmingModel model_;
    double trim_error_ = 0;
    int eeprom_index_ = 0;
    std::string eeprom_byte_text_;
    bool reading_ = false;  // an eeread is waiting for its replies
};

}  // namespace tw::acquisition
