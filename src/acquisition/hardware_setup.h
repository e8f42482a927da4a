#pragma once
// The hardware setup window: the A/D board interface, the parallel port
// alarm and watchdog, the datalog and drum automations, what is done when a
// quake is recorded, the board's clock calibration (read and written over
// the board link) and the settings lock with its password.
//
// The password is a guard against changes by mistake, not a protection:
// the settings file holds it in clear text.

#include "acquisition/board_link.h"
#include "config/settings.h"
#include "platform/dialogs.h"
#include "platform/io_ports.h"
#include "platform/serial_port.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tw::acquisition {

// Check boxes, in the order of the window.
enum class SetupFlag : std::size_t {
    no_ver_warn,      // no_version_warning
    chk_debug,        // service_mode
    lock_settings,    // settings_locked
    use_twarden,      // use_twarden
    wd_enabled,       // watchdog_enabled
    alarm_wav,        // alarm_wav
    print_quake,      // print_quake
    alarm_on_events,  // alarm_on_events
    send_sms,         // send_sms
    send_mail,        // send_mail
    alarm_on_L2,      // alarm_on_l2
    hw_alarm,         // hw_alarm
    never_purge,      // never_purge
};
inline constexpr std::size_t setup_flag_count = 13;

// Lists; the list index is the setting's value.
enum class SetupList : std::size_t {
    comm_port,     // comm_port
    ad_type,       // ad_type
    lptx,          // lpt_port
    drum_format,   // drum_format
    flush_period,  // flush_period
    bmp_update,    // bmp_update
};
inline constexpr std::size_t setup_list_count = 6;

// Entry fields.
enum class SetupField : std::size_t {
    txt_ad_base,     // ad_base_address, shown only
    trim_0,          // clock_trim: low byte of the period count P
    trim_1,          // middle byte
    trim_2,          // high byte
    trim_3,          // mode: 01 positive, 00 negative, 02 no correction
    txt_error,       // clock error, seconds per day
    wd_timer,        // watchdog_period, 5..999 s
    purge_time,      // purge_days, 1..360
    drum_columns,    // hours_per_row: 2, 3, 4, 6 or 8
    events_folder,   // events_folder
    events_browser,  // event_browser
};
inline constexpr std::size_t setup_field_count = 11;

// Items of the period lists, by the setting's value.
inline constexpr std::array<std::string_view, 6> flush_period_items = {
    " 5 min", " 10 min", " 15 min", " 20 min", " 30 min", " hour"};
inline constexpr std::array<std::string_view, 12> bmp_update_items = {
    " 5 min", " 10 min", " 15 min", " 20 min", " 30 min", " hour",
    " 2 hours", " 3 hours", " 4 hours", " 6 hours", "12 hours", " day"};

// Palette colours of the port bit indicators.
inline constexpr int bit_set_colour = 2;    // green
inline constexpr int bit_clear_colour = 8;  // grey

// What the hardware setup window shows; the window renders it when notified.
struct HardwareSetupModel {
    static constexpr std::string_view title = "Hardware and Miscellaneous Setup";

    std::array<bool, setup_flag_count> flags{};
    std::array<int, setup_list_count> lists{};  // -1: the setting is not in the list
    std::array<std::string, setup_field_count> fields;
    std::string lbl_serial;  // first four digits of the board's serial number
    int alarm_bit = bit_clear_colour;       // bit 1 of the chosen parallel port
    int watch_dog_bit = bit_clear_colour;   // bit 0
    bool locked = false;          // the settings lock on its controls
    bool busy = false;            // a calibration exchange runs: hourglass pointer
    bool close_requested = false; // OK or Cancel: the window closes

    bool flag(SetupFlag f) const { return flags[static_cast<std::size_t>(f)]; }
    int list(SetupList l) const { return lists[static_cast<std::size_t>(l)]; }
    const std::string& text(SetupField f) const { return fields[static_cast<std::size_t>(f)]; }
    // Whether the settings lock leaves a control enabled (the lock check
    // box itself always is).
    bool enabled(SetupFlag f) const;
    bool enabled(SetupList l) const;
    bool enabled(SetupField f) const;

    std::function<void()> changed;
    void notify() const {
        if (changed) changed();
    }
};

// The four calibration fields for a clock error in seconds per day: the
// period count P = 86400 / error (FFFFFF for 0, at most FFFFFF in
// magnitude, at least 1), its bytes lowest first, then "01" for a positive
// error, "00" for a negative one and "02" (no correction) when P is FFFFFF.
std::array<std::string, 4> trim_fields_for_clock_error(double seconds_per_day);
// The clock error the four fields stand for, "0.00000000" seconds per day
// with the sign of the mode; "???" for a mode above 1, a period of 0 or a
// field that is not two hexadecimal digits.
std::string clock_error_text(const std::array<std::string, 4>& trim_fields);

struct HardwareSetupContext {
    config::Settings& settings;
    platform::Dialogs& dialogs;
    // The station's parallel ports (none: both bit indicators clear), read
    // where the station keeps them.
    platform::IoPorts* const& io_ports;
    BoardLink& link;
    // The board port; closed after an exchange that found no board.
    const platform::SerialPort& serial;
    std::string program_folder;
    bool& window_open;  // actions_open
    // True while no acquisition runs and no exchange with the board waits.
    std::function<bool()> board_idle;
    // The settings lock on every open window, this one included.
    std::function<void()> apply_settings_lock;
    // The main window's channel selector to channel 1 (it shows it again).
    std::function<void()> show_first_channel;
};

class HardwareSetup {
public:
    static constexpr std::string_view comm_port_message =
        "The new comm port settings will be activated at the next start of the program.";
    static constexpr std::string_view trimming_title = "Trimming";
    static constexpr std::string_view calibration_title = "Clock calibration";
    static constexpr std::string_view lock_title = "Lock/Unlock Settings";
    static constexpr std::string_view password_title = "Password";

    explicit HardwareSetup(HardwareSetupContext context);

    // The window is loaded (each time it is shown), becomes active, and is
    // unloaded (closed in any way).
    void load();
    void activate();
    void unload();
    bool is_open() const { return context_.window_open; }

    // The settings lock on this window's controls.
    void apply_settings_lock(bool locked);

    void set_flag(SetupFlag flag, bool checked);  // lock_settings: see below
    void set_list(SetupList list, int index);
    void set_field(SetupField field, std::string text);
    // Limits of a field that is left (or where Enter is pressed).
    void leave_field(SetupField field);
    // Enter in txt_error: the four calibration fields for the typed error.
    // Nothing is sent to the board.
    void clock_error_entered();
    // Double click on events_folder: the station's events folder, if the
    // user agrees (stored on Apply).
    void events_folder_double_clicked();

    // lock_settings clicked: locking needs nothing; unlocking asks for the
    // password (a wrong one keeps the lock) and offers to change it. The lock
    // takes effect on every open window at once.
    void lock_settings_clicked(bool checked);

    // Read and Write calibration over the board link, with the board idle:
    // refused (with a message, nothing sent) during acquisition, for a
    // board without calibration, or for fields that are not four bytes.
    void read_calibration_clicked();
    void write_calibration_clicked();

    void apply_clicked();
    void ok_clicked();      // Apply and close
    void cancel_clicked();  // close without storing

    // The watchdog and alarm bits of the chosen parallel port, read again
    // (at opening and at every housekeeping tick while open).
    void refresh_port_bits();

    HardwareSetupModel& model() { return model_; }
    const HardwareSetupModel& model() const { return model_; }

private:
    bool& flag(SetupFlag f) { return model_.flags[static_cast<std::size_t>(f)]; }
    int& list(SetupList l) { return model_.lists[static_cast<std::size_t>(l)]; }
    std::string& field(SetupField f) { return model_.fields[static_cast<std::size_t>(f)]; }
    std::array<std::string, 4> trim_fields() const;
    void set_trim_fields(const std::array<std::string, 4>& trim);
    void show_clock_error();
    // Whether the board can be asked now; says why not otherwise.
    bool board_ready_for_calibration(std::string_view title);

    HardwareSetupContext context_;
    HardwareSetupModel model_;
};

}  // namespace tw::acquisition
