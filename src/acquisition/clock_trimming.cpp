#include "acquisition/clock_trimming.h"

#include "acquisition/board_clock.h"
#include "config/number_text.h"
#include "config/tables.h"

#include <cmath>
#include <cstdio>

namespace tw::acquisition {

namespace {

constexpr std::uint8_t write_trimming_command = 0x85;
constexpr std::uint8_t read_eeprom_command = 0x86;
constexpr int last_eeprom_address = 8;
constexpr double minimum_firmware = 1.3;

std::string hex_pair(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

// The magnitude of N as the three bytes hold it.
double magnitude(double trim_error) {
    const double m = std::fabs(trim_error);
    return std::isfinite(m) && m < max_trim_period ? m : max_trim_period;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string eeprom_image(double trim_error) {
    const TrimBytes b = trim_bytes(trim_error);
    return "XX " + hex_pair(b.b1) + " " + hex_pair(b.b2) + " " + hex_pair(b.b3) +
           (trim_error >= 0 ? " 01" : " 00") + " XX XX XX XX";
}

TrimBytes trim_bytes(double trim_error) {
    const auto m = static_cast<unsigned long>(config::round_half_even(magnitude(trim_error)));
    TrimBytes b;
    b.b1 = static_cast<std::uint8_t>(m & 255);
    b.b2 = static_cast<std::uint8_t>((m >> 8) & 255);
    b.b3 = static_cast<std::uint8_t>((m >> 16) & 255);
    b.direction = trim_error < 0 ? 0 : trim_error == 0 ? 2 : 1;
    return b;
}

std::optional<TrimBytes> parse_trim_text(std::string_view text) {
    std::array<std::uint8_t, 4> values{};
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ' ') {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < text.size() && text[end] != ' ') ++end;
        const std::string_view pair = text.substr(pos, end - pos);
        if (count == values.size() || pair.size() > 2) return std::nullopt;
        int value = 0;
        for (char c : pair) {
            const int d = hex_digit(c);
            if (d < 0) return std::nullopt;
            value = value * 16 + d;
        }
        values[count++] = static_cast<std::uint8_t>(value);
        pos = end;
    }
    if (count != values.size()) return std::nullopt;
    return TrimBytes{values[0], values[1], values[2], values[3]};
}

// ---------------------------------------------------------------------------

ClockTrimming::ClockTrimming(ClockTrimmingContext context) : context_(std::move(context)) {}

void ClockTrimming::activate() {
    context_.window_open = true;
    model_.notify();
}

void ClockTrimming::unload() {
    context_.window_open = false;
    reading_ = false;
    auto list = std::move(model_.list1);
    auto changed = std::move(model_.changed);
    model_ = TrimmingModel{};
    model_.list1 = std::move(list);
    model_.changed = std::move(changed);
    model_.notify();
}

void ClockTrimming::restart_measurement() {
    model_.firsttime.clear();
    model_.prev_sync.clear();
    model_.notify();
}

void ClockTrimming::measure_on_sync(const std::string& sync_time) {
    if (model_.firsttime.empty()) {
        model_.firsttime = sync_time;
        context_.sample_path.reset_trim_sample_count();
    } else {
        model_.prev_sync = sync_time;
    }

    double elapsed = 0;
    if (!model_.firsttime.empty() && !model_.prev_sync.empty()) {
        const auto first = stamp_seconds(model_.firsttime);
        const auto last = stamp_seconds(model_.prev_sync);
        if (first && last) elapsed = static_cast<double>(*last - *first);
        const double counted = static_cast<double>(context_.sample_path.trim_sample_count());
        model_.ad_received = config::plain_number(counted);
        model_.ad_tlapsed = config::plain_number(elapsed);
        const double expected =
            elapsed * config::sps_value(context_.settings.channels[0].sps_code);
        trim_error_ = counted - expected;
        if (trim_error_ != 0 && elapsed != 0) {
            // One correction every N samples.
            trim_error_ = expected / trim_error_;
            model_.trimmevery = config::plain_number(trim_error_);
            model_.dataset = eeprom_image(trim_error_);
            model_.notify();
            return;
        }
    }
    model_.trimmevery = "Wait...";
    model_.notify();
}

void ClockTrimming::txt_error_changed(const std::string& text) {
    model_.txt_error = text;
    const double seconds_per_day = config::number_scan(text);
    if (seconds_per_day != 0 && std::isfinite(seconds_per_day)) {
        trim_error_ = 86400 / seconds_per_day;
        show_image();
        // The same bytes, ready for the manual write.
        const std::string& image = model_.dataset;
        model_.txt_manual_trim = image.substr(3, 11);
    }
    model_.notify();
}

void ClockTrimming::txt_manual_trim_changed(const std::string& text) {
    model_.txt_manual_trim = text;
}

void ClockTrimming::show_image() { model_.dataset = eeprom_image(trim_error_); }

void ClockTrimming::refuse(std::string_view message) {
    context_.dialogs.message_box(std::string(message), std::string(message_title),
                                 platform::DialogIcon::warning);
}

bool ClockTrimming::check_running() {
    if (context_.acquisition_running && context_.acquisition_running()) return true;
    refuse(not_running_message);
    return false;
}

bool ClockTrimming::check_firmware() {
    // "1.xx" (a board the program does not know) reads as 1.
    const std::string version = context_.firmware_version ? context_.firmware_version() : "";
    if (config::number_scan(version) >= minimum_firmware - 1e-9) return true;
    refuse(old_firmware_message);
    return false;
}

bool ClockTrimming::send(const std::array<std::uint8_t, 6>& command) {
    if (!context_.send_command) return false;
    return context_.send_command(
        std::string_view(reinterpret_cast<const char*>(command.data()), command.size()));
}

void ClockTrimming::set_trim_data_clicked() {
    if (!check_running() || !check_firmware()) return;
    const TrimBytes b = trim_bytes(trim_error_);
    send({write_trimming_command, b.b1, b.b2, b.b3, b.direction, 0x00});
}

void ClockTrimming::nulltrimm_clicked() {
    if (!check_running() || !check_firmware()) return;
    model_.dataset = "XX FF FF FF 02 XX XX XX XX";
    model_.notify();
    send({write_trimming_command, 0xFF, 0xFF, 0xFF, 0x02, 0x00});
}

void ClockTrimming::cmd_manual_trim_clicked() {
    if (!check_firmware()) return;
    const auto b = parse_trim_text(model_.txt_manual_trim);
    if (!b) {
        refuse(bad_manual_message);
        return;
    }
    send({write_trimming_command, b->b1, b->b2, b->b3, b->direction, 0x00});
    context_.dialogs.message_box(std::string(check_message), std::string(message_title),
                                 platform::DialogIcon::information);
}

void ClockTrimming::eeread_clicked() {
    if (!check_running() || !check_firmware()) return;
    model_.eeprom.clear();
    model_.notify();
    eeprom_byte_text_.clear();
    eeprom_index_ = 0;
    reading_ = send({read_eeprom_command, 0x00, 0x00, 0x00, 0x00, 0x00});
}

void ClockTrimming::eeprom_reply(std::span<const std::uint8_t> packet) {
    if (packet.size() < 2) return;  // no value byte
    eeprom_reply(packet[1]);
}

void ClockTrimming::eeprom_reply(std::uint8_t value) {
    eeprom_byte_text_ = hex_pair(value);
    if (context_.window_open) {
        model_.eeprom += " " + eeprom_byte_text_;
        model_.notify();
    }
    // Replies nobody asked for (noise, another reader) start no reading.
    if (!reading_) return;
    if (eeprom_index_ < last_eeprom_address) {
        ++eeprom_index_;
        reading_ = send({read_eeprom_command, static_cast<std::uint8_t>(eeprom_index_), 0x00,
                         0x00, 0x00, 0x00});
    } else {
        reading_ = false;
    }
}

void ClockTrimming::add_trace_line(std::string line) {
    if (context_.settings.general.service_mode != 1) return;
    model_.list1.push_back(std::move(line));
    while (model_.list1.size() > TrimmingModel::max_list_lines) model_.list1.pop_front();
    model_.notify();
}

void ClockTrimming::list1_double_clicked() {
    model_.list1.clear();
    model_.notify();
}

}  // namespace tw::acquisition
