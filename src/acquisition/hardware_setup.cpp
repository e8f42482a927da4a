#include "acquisition/hardware_setup.h"

#include "acquisition/clock_trimming.h"
#include "config/number_text.h"
#include "config/settings_file.h"
#include "config/tables.h"

#include <algorithm>
#include <cmath>

namespace tw::acquisition {

namespace {

constexpr double seconds_per_day = 86400;
constexpr int watchdog_min = 5, watchdog_max = 999;
constexpr int purge_min = 1, purge_max = 360;
constexpr int hours_min = 2, hours_max = 8;

constexpr std::size_t index(SetupFlag f) { return static_cast<std::size_t>(f); }
constexpr std::size_t index(SetupList l) { return static_cast<std::size_t>(l); }
constexpr std::size_t index(SetupField f) { return static_cast<std::size_t>(f); }

constexpr SetupField trim_field(std::size_t i) {
    return static_cast<SetupField>(index(SetupField::trim_0) + i);
}

// A setting as a list index; -1 when the list has no such item.
int list_index(int value, std::size_t size) {
    return value >= 0 && value < static_cast<int>(size) ? value : -1;
}

std::size_t list_size(SetupList l) {
    switch (l) {
        case SetupList::comm_port: return config::comm_ports.size();
        case SetupList::ad_type: return config::board_types.size();
        case SetupList::lptx: return config::lpt_ports.size();
        case SetupList::drum_format: return config::drum_formats.size();
        case SetupList::flush_period: return flush_period_items.size();
        case SetupList::bmp_update: break;
    }
    return bmp_update_items.size();
}

// The whole number a limited field stands for.
int limited_whole(const std::string& text, int min, int max) {
    const double v = config::round_half_even(
        config::number_scan(config::normalize_numeric_text(text, "", min, max)));
    return static_cast<int>(std::clamp(v, double(min), double(max)));
}

// The drums divide the day into rows: only 2, 3, 4, 6 and 8 hours do.
int hours_per_row(const std::string& text) {
    const int hours = limited_whole(text, hours_min, hours_max);
    return hours == 5 || hours == 7 ? hours + 1 : hours;
}

// A path or a program name is one line of the settings file.
std::string one_line(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
}

// A calibration byte as typed: blanks dropped, upper case, one digit padded.
std::string trim_byte_text(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ') out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    if (out.size() == 1) out.insert(0, "0");
    return out;
}

bool is_lockable(SetupFlag f) {
    switch (f) {
        case SetupFlag::wd_enabled:
        case SetupFlag::use_twarden:
        case SetupFlag::hw_alarm:
        case SetupFlag::alarm_on_events:
        case SetupFlag::alarm_on_L2:
        case SetupFlag::send_mail:
        case SetupFlag::send_sms:
        case SetupFlag::never_purge:
        case SetupFlag::chk_debug:
            return true;
        default:
            return false;
    }
}

bool is_lockable(SetupList l) {
    return l == SetupList::lptx || l == SetupList::flush_period || l == SetupList::bmp_update ||
           l == SetupList::drum_format;
}

bool is_lockable(SetupField f) {
    return f == SetupField::wd_timer || f == SetupField::purge_time ||
           f == SetupField::drum_columns || f == SetupField::events_folder ||
           f == SetupField::events_browser;
}

}  // namespace

bool HardwareSetupModel::enabled(SetupFlag f) const { return !locked || !is_lockable(f); }
bool HardwareSetupModel::enabled(SetupList l) const { return !locked || !is_lockable(l); }
bool HardwareSetupModel::enabled(SetupField f) const { return !locked || !is_lockable(f); }

std::array<std::string, 4> trim_fields_for_clock_error(double error) {
    if (error == 0 || !std::isfinite(error)) return {"FF", "FF", "FF", "02"};
    // The bytes hold the magnitude of P rounded; a period below one tick
    // is no correction the board can make, one tick is the nearest.
    const TrimBytes b = trim_bytes(std::max(std::fabs(seconds_per_day / error), 1.0));
    const bool no_correction = b.b1 == 0xFF && b.b2 == 0xFF && b.b3 == 0xFF;
    return {hex_byte(b.b1), hex_byte(b.b2), hex_byte(b.b3),
            no_correction ? "02" : error > 0 ? "01" : "00"};
}

std::string clock_error_text(const std::array<std::string, 4>& trim) {
    std::array<std::uint8_t, 4> b{};
    if (!parse_hex_bytes(trim[0] + trim[1] + trim[2] + trim[3], &b)) return "???";
    const double period = b[0] + 256.0 * b[1] + 65536.0 * b[2];
    if (b[3] > 1 || period == 0) return "???";
    return config::fixed_number_text((b[3] == 0 ? -1 : 1) * seconds_per_day / period, 1, 8);
}

HardwareSetup::HardwareSetup(HardwareSetupContext context) : context_(std::move(context)) {}

void HardwareSetup::load() {
    const auto& g = context_.settings.general;
    model_.close_requested = false;
    model_.busy = false;

    list(SetupList::comm_port) = list_index(g.comm_port, list_size(SetupList::comm_port));
    list(SetupList::ad_type) = list_index(g.ad_type, list_size(SetupList::ad_type));
    list(SetupList::lptx) = list_index(g.lpt_port, list_size(SetupList::lptx));
    list(SetupList::drum_format) = list_index(g.drum_format, list_size(SetupList::drum_format));
    list(SetupList::flush_period) = list_index(g.flush_period, list_size(SetupList::flush_period));
    list(SetupList::bmp_update) = list_index(g.bmp_update, list_size(SetupList::bmp_update));

    flag(SetupFlag::no_ver_warn) = g.no_version_warning != 0;
    flag(SetupFlag::chk_debug) = g.service_mode != 0;
    flag(SetupFlag::lock_settings) = g.settings_locked == 1;
    flag(SetupFlag::use_twarden) = g.use_twarden != 0;
    flag(SetupFlag::wd_enabled) = g.watchdog_enabled != 0;
    flag(SetupFlag::alarm_wav) = g.alarm_wav != 0;
    flag(SetupFlag::print_quake) = g.print_quake != 0;
    flag(SetupFlag::alarm_on_events) = g.alarm_on_events != 0;
    flag(SetupFlag::send_sms) = g.send_sms != 0;
    flag(SetupFlag::send_mail) = g.send_mail != 0;
    flag(SetupFlag::alarm_on_L2) = g.alarm_on_l2 != 0;
    flag(SetupFlag::hw_alarm) = g.hw_alarm != 0;
    flag(SetupFlag::never_purge) = g.never_purge != 0;

    field(SetupField::txt_ad_base) = std::to_string(g.ad_base_address);
    std::array<std::string, 4> trim;
    for (std::size_t i = 0; i < trim.size(); ++i) {
        trim[i] = g.clock_trim.size() > 2 * i ? g.clock_trim.substr(2 * i, 2) : std::string();
    }
    set_trim_fields(trim);
    field(SetupField::wd_timer) = std::to_string(g.watchdog_period);
    field(SetupField::purge_time) = std::to_string(g.purge_days);
    field(SetupField::drum_columns) = std::to_string(g.hours_per_row);
    field(SetupField::events_folder) = g.events_folder;
    field(SetupField::events_browser) = g.event_browser;
    model_.lbl_serial = g.ad_serial.substr(0, 4);
    refresh_port_bits();
}

void HardwareSetup::activate() {
    context_.window_open = true;
    if (context_.apply_settings_lock) context_.apply_settings_lock();
    model_.notify();
}

void HardwareSetup::unload() {
    context_.window_open = false;
    model_.notify();
}

void HardwareSetup::apply_settings_lock(bool locked) {
    model_.locked = locked;
    model_.notify();
}

void HardwareSetup::set_flag(SetupFlag f, bool checked) {
    if (f == SetupFlag::lock_settings) {
        lock_settings_clicked(checked);
        return;
    }
    flag(f) = checked;
}

void HardwareSetup::set_list(SetupList l, int i) {
    list(l) = list_index(i, list_size(l));
}

void HardwareSetup::set_field(SetupField f, std::string text) { field(f) = std::move(text); }

void HardwareSetup::leave_field(SetupField f) {
    std::string& text = field(f);
    switch (f) {
        case SetupField::wd_timer:
            text = std::to_string(limited_whole(text, watchdog_min, watchdog_max));
            break;
        case SetupField::purge_time:
            text = std::to_string(limited_whole(text, purge_min, purge_max));
            break;
        case SetupField::drum_columns:
            text = std::to_string(hours_per_row(text));
            break;
        case SetupField::trim_0:
        case SetupField::trim_1:
        case SetupField::trim_2:
        case SetupField::trim_3:
            text = trim_byte_text(text);
            show_clock_error();
            break;
        case SetupField::events_folder:
        case SetupField::events_browser:
            text = one_line(text);
            break;
        default:
            return;
    }
    model_.notify();
}

std::array<std::string, 4> HardwareSetup::trim_fields() const {
    return {model_.text(SetupField::trim_0), model_.text(SetupField::trim_1),
            model_.text(SetupField::trim_2), model_.text(SetupField::trim_3)};
}

void HardwareSetup::set_trim_fields(const std::array<std::string, 4>& trim) {
    for (std::size_t i = 0; i < trim.size(); ++i) field(trim_field(i)) = trim[i];
    show_clock_error();
}

void HardwareSetup::show_clock_error() { field(SetupField::txt_error) = clock_error_text(trim_fields()); }

void HardwareSetup::clock_error_entered() {
    const double error = config::number_scan(model_.text(SetupField::txt_error));
    const auto trim = trim_fields_for_clock_error(error);
    for (std::size_t i = 0; i < trim.size(); ++i) field(trim_field(i)) = trim[i];
    model_.notify();
}

void HardwareSetup::events_folder_double_clicked() {
    if (!model_.enabled(SetupField::events_folder)) return;
    if (!context_.dialogs.ask_yes_no("Set folder as standard terrawave event folder?", "Terrawave",
                                     false))
        return;
    field(SetupField::events_folder) = context_.program_folder + "/events";
    model_.notify();
}

void HardwareSetup::lock_settings_clicked(bool checked) {
    auto& g = context_.settings.general;
    bool locked = checked;
    if (!checked) {
        // Unlocking needs the password; a cancelled box is a wrong one.
        const auto typed = context_.dialogs.password_box("Password", std::string(lock_title));
        locked = !(typed && *typed == g.settings_password);
        if (!locked && context_.dialogs.ask_yes_no("Do you want to change the password?",
                                                   std::string(password_title), false)) {
            const auto fresh =
                context_.dialogs.password_box("Insert the NEW password", std::string(password_title));
            // A cancelled box keeps the old password.
            if (fresh) {
                g.settings_password = one_line(*fresh);
                context_.dialogs.message_box("PASSWORD CHANGED", std::string(password_title),
                                             platform::DialogIcon::information);
            }
        }
    }
    flag(SetupFlag::lock_settings) = locked;
    g.settings_locked = locked ? 1 : 0;
    if (context_.apply_settings_lock) context_.apply_settings_lock();
    model_.notify();
}

bool HardwareSetup::board_ready_for_calibration(std::string_view title) {
    std::string refusal;
    const int ad_type = context_.settings.general.ad_type;
    if (model_.busy) return false;  // an exchange is still waiting
    if (context_.board_idle && !context_.board_idle()) {
        refusal = "The clock calibration can be read or written only while the acquisition is "
                  "stopped: press STOP first.";
    } else if (ad_type != config::orda10 && ad_type != config::orda20) {
        refusal = "Only the ORDA boards keep a clock calibration.";
    }
    if (refusal.empty()) return true;
    context_.dialogs.message_box(refusal, std::string(title), platform::DialogIcon::warning);
    return false;
}

void HardwareSetup::read_calibration_clicked() {
    if (!board_ready_for_calibration(calibration_title)) return;
    model_.busy = true;
    set_trim_fields({});
    model_.notify();

    std::string serial;
    const std::string trim = context_.link.read_board_eeprom(1, &serial);
    model_.busy = false;
    if (trim.size() == 8) {
        set_trim_fields({trim.substr(0, 2), trim.substr(2, 2), trim.substr(4, 2), trim.substr(6, 2)});
        // The board keeps its number twice.
        if (serial.size() == 8 && serial.compare(0, 4, serial, 4, 4) == 0) {
            model_.lbl_serial = serial.substr(0, 4);
        }
    } else if (!context_.serial.is_open()) {
        context_.dialogs.message_box("A/D card not found.", std::string(calibration_title),
                                     platform::DialogIcon::warning);
    } else {
        context_.dialogs.message_box("The board did not send its calibration data.",
                                     std::string(calibration_title), platform::DialogIcon::warning);
    }
    model_.notify();
}

void HardwareSetup::write_calibration_clicked() {
    for (std::size_t i = 0; i < 4; ++i) leave_field(trim_field(i));
    std::array<std::uint8_t, 4> b{};
    const auto trim = trim_fields();
    if (!parse_hex_bytes(trim[0] + trim[1] + trim[2] + trim[3], &b)) {
        context_.dialogs.message_box(
            "Each of the four calibration fields takes two hexadecimal digits (00 to FF).",
            std::string(trimming_title), platform::DialogIcon::warning);
        return;
    }
    if (!board_ready_for_calibration(trimming_title)) return;
    model_.busy = true;
    model_.notify();
    const bool written = context_.link.write_clock_trim(b[0], b[1], b[2], b[3]);
    model_.busy = false;
    model_.notify();
    // A board that did not answer has been reported by the link already.
    if (!written && !context_.serial.is_open()) return;
    context_.dialogs.message_box(written ? "Trimming executed." : "Trimming not executed",
                                 std::string(trimming_title), platform::DialogIcon::information);
}

void HardwareSetup::apply_clicked() {
    for (std::size_t i = 0; i < setup_field_count; ++i) leave_field(static_cast<SetupField>(i));
    auto& settings = context_.settings;
    auto& g = settings.general;
    // A list without a valid choice keeps its setting.
    auto store = [this](SetupList l, int& setting) {
        if (model_.list(l) >= 0) setting = model_.list(l);
    };
    auto flag_value = [this](SetupFlag f) { return model_.flag(f) ? 1 : 0; };

    const int comm = model_.list(SetupList::comm_port);
    if (comm >= 0 && comm != g.comm_port) {
        context_.dialogs.message_box(std::string(comm_port_message), "Comm port change",
                                     platform::DialogIcon::information);
    }
    store(SetupList::comm_port, g.comm_port);
    store(SetupList::lptx, g.lpt_port);
    g.watchdog_enabled = flag_value(SetupFlag::wd_enabled);
    g.watchdog_period = limited_whole(model_.text(SetupField::wd_timer), watchdog_min, watchdog_max);
    g.use_twarden = flag_value(SetupFlag::use_twarden);
    store(SetupList::bmp_update, g.bmp_update);
    g.hours_per_row = hours_per_row(model_.text(SetupField::drum_columns));
    store(SetupList::drum_format, g.drum_format);
    store(SetupList::flush_period, g.flush_period);
    g.purge_days = limited_whole(model_.text(SetupField::purge_time), purge_min, purge_max);
    g.never_purge = flag_value(SetupFlag::never_purge);
    g.hw_alarm = flag_value(SetupFlag::hw_alarm);
    g.alarm_on_l2 = flag_value(SetupFlag::alarm_on_L2);
    g.alarm_on_events = flag_value(SetupFlag::alarm_on_events);
    g.send_sms = flag_value(SetupFlag::send_sms);
    g.send_mail = flag_value(SetupFlag::send_mail);
    g.no_version_warning = flag_value(SetupFlag::no_ver_warn);
    g.event_browser = model_.text(SetupField::events_browser);
    g.events_folder = model_.text(SetupField::events_folder);
    g.settings_locked = flag_value(SetupFlag::lock_settings);
    g.alarm_wav = flag_value(SetupFlag::alarm_wav);
    const auto trim = trim_fields();
    const std::string clock_trim = trim[0] + trim[1] + trim[2] + trim[3];
    if (parse_hex_bytes(clock_trim, nullptr)) {
        g.clock_trim = clock_trim;
    } else {
        // The board's calibration is restored from this text at START: a
        // broken one is not stored.
        context_.dialogs.message_box(
            "The clock calibration was not stored: each of its four fields takes two "
            "hexadecimal digits (00 to FF).",
            std::string(calibration_title), platform::DialogIcon::warning);
    }
    g.service_mode = flag_value(SetupFlag::chk_debug);
    g.print_quake = flag_value(SetupFlag::print_quake);
    store(SetupList::ad_type, g.ad_type);

    // The text boards send one channel at a fixed rate and keep no clock of
    // their own that the PC could follow.
    if (g.ad_type == config::infiltec || g.ad_type == config::lx1500) {
        settings.channel(1).sps_code = g.ad_type == config::infiltec ? 9 : 10;
        for (int n = 2; n <= 4; ++n) settings.channel(n).sps_code = 0;
        // The event lengths in samples follow the new rates.
        for (auto& channel : settings.channels) config::recompute_event_lengths(channel);
        if (context_.show_first_channel) context_.show_first_channel();
        g.pc_rtc = 1;
        g.pc_sync = 0;
    }
    model_.notify();
}

void HardwareSetup::ok_clicked() {
    apply_clicked();
    model_.close_requested = true;
    unload();
}

void HardwareSetup::cancel_clicked() {
    model_.close_requested = true;
    unload();
}

void HardwareSetup::refresh_port_bits() {
    const int lpt = context_.settings.general.lpt_port;
    std::uint8_t bits = 0;
    if (context_.io_ports && lpt >= 1 && lpt <= 3) {
        std::string error;  // a missing port is reported by the housekeeping
        if (const auto value = context_.io_ports->read_data(lpt, &error)) bits = *value;
    }
    const int alarm = bits & 0x02 ? bit_set_colour : bit_clear_colour;
    const int watchdog = bits & 0x01 ? bit_set_colour : bit_clear_colour;
    if (alarm == model_.alarm_bit && watchdog == model_.watch_dog_bit) return;
    model_.alarm_bit = alarm;
    model_.watch_dog_bit = watchdog;
    model_.notify();
}

}  // namespace tw::acquisition
