#include "config/settings_file.h"

#include "config/number_text.h"
#include "config/tables.h"

#include <algorithm>
#include <cctype>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

namespace tw::config {

namespace {

// Error numbers carried by SettingsProblem.
constexpr int overflow_error = 6;
constexpr int subscript_error = 9;
constexpr int type_mismatch_error = 13;

// How the text after "KEY=" becomes a field value.
enum class Conversion {
    scan_int,       // number scan rounded half to even, 16-bit range
    direct_int,     // whole text must be a number; 16-bit range
    scan_double,    // number scan
    direct_double,  // whole text must be a number
    text,           // whole value
    extension,      // first three characters
    start_list,     // STA: text, then expanded
    stop_list,      // STO
    correction_list,  // COR
    hex_int,        // ADB: number scan of "&H" + value
};

template <typename Record>
using FieldPointer =
    std::variant<int Record::*, double Record::*, std::string Record::*>;

template <typename Record>
struct KeySpec {
    const char* key;
    Conversion conversion;
    FieldPointer<Record> field;
};

using C = ChannelSettings;
using G = GeneralSettings;

// The 28 channel lines in file order.
const KeySpec<C> channel_keys[] = {
    {"SPS", Conversion::scan_int, &C::sps_code},
    {"VAX", Conversion::scan_int, &C::axis_code},
    {"DCO", Conversion::scan_int, &C::dc_offset},
    {"YSC", Conversion::scan_double, &C::y_scale},
    {"TRM", Conversion::scan_int, &C::trigger_mode},
    {"STA", Conversion::start_list, &C::start_params},
    {"STO", Conversion::stop_list, &C::stop_params},
    {"INV", Conversion::scan_int, &C::invert},
    {"ENA", Conversion::scan_int, &C::record_enabled},
    {"ALA", Conversion::scan_int, &C::alarm_enabled},
    {"ALV", Conversion::scan_int, &C::alarm_threshold},
    {"LOG", Conversion::scan_int, &C::logging_enabled},
    {"AOF", Conversion::scan_int, &C::auto_offset},
    {"TRI", Conversion::scan_int, &C::extend_trigger},
    {"EXT", Conversion::extension, &C::file_extension},
    {"DRM", Conversion::scan_int, &C::drum_enabled},
    {"DRH", Conversion::scan_int, &C::drum_hidden},
    {"COR", Conversion::correction_list, &C::magnitude_correction},
    {"FFT", Conversion::scan_int, &C::fft_enabled},
    {"DRS", Conversion::direct_double, &C::drum_scale},
    {"STY", Conversion::direct_int, &C::sensor_type},
    {"SSI", Conversion::direct_double, &C::sensor_sensitivity},
    {"AGF", Conversion::direct_double, &C::amplifier_gain},
    {"ADS", Conversion::direct_double, &C::ad_bits},
    {"ADF", Conversion::direct_double, &C::ad_range},
    {"TRA", Conversion::direct_double, &C::data_output_factor},
    {"MSU", Conversion::scan_int, &C::measure_unit},
    {"FDY", Conversion::scan_double, &C::filter_delay},
};

// The 47 general lines in file order.
const KeySpec<G> general_keys[] = {
    {"ELE", Conversion::text, &G::elevation},
    {"LOC", Conversion::text, &G::location},
    {"COO", Conversion::text, &G::coordinates},
    {"PAP", Conversion::direct_int, &G::chart_speed},
    {"COM", Conversion::direct_int, &G::comm_port},
    {"AUT", Conversion::scan_int, &G::auto_start},
    {"FVU", Conversion::text, &G::event_browser},
    {"EVF", Conversion::text, &G::events_folder},
    {"RTC", Conversion::scan_int, &G::pc_rtc},
    {"PSY", Conversion::scan_int, &G::pc_sync},
    {"SYE", Conversion::scan_int, &G::sync_every},
    {"GMT", Conversion::scan_int, &G::gmt_correction},
    {"LPT", Conversion::scan_int, &G::lpt_port},
    {"WDE", Conversion::scan_int, &G::watchdog_enabled},
    {"WDT", Conversion::scan_int, &G::watchdog_period},
    {"TWD", Conversion::scan_int, &G::use_twarden},
    {"BMP", Conversion::scan_int, &G::bmp_update},
    {"HRW", Conversion::scan_int, &G::hours_per_row},
    {"FLH", Conversion::scan_int, &G::flush_period},
    {"PUG", Conversion::scan_int, &G::purge_days},
    {"NOP", Conversion::scan_int, &G::never_purge},
    {"HWA", Conversion::scan_int, &G::hw_alarm},
    {"AL2", Conversion::scan_int, &G::alarm_on_l2},
    {"ALE", Conversion::scan_int, &G::alarm_on_events},
    {"SMS", Conversion::scan_int, &G::send_sms},
    {"SEM", Conversion::scan_int, &G::send_mail},
    {"VRS", Conversion::scan_double, &G::review_y_zoom},
    {"VRR", Conversion::scan_int, &G::review_rows},
    {"VRH", Conversion::scan_double, &G::review_chart_speed},
    {"EXD", Conversion::text, &G::review_path},
    {"FOU", Conversion::scan_int, &G::event_format},
    {"NOC", Conversion::scan_int, &G::no_charts},
    {"DBG", Conversion::scan_int, &G::service_mode},
    {"NWR", Conversion::scan_int, &G::no_version_warning},
    {"NLG", Conversion::scan_int, &G::no_logo},
    {"PSW", Conversion::text, &G::settings_password},
    {"LKS", Conversion::scan_int, &G::settings_locked},
    {"TEX", Conversion::scan_int, &G::extract_channel_mask},
    {"ADT", Conversion::scan_int, &G::ad_type},
    {"ADB", Conversion::hex_int, &G::ad_base_address},
    {"PQK", Conversion::scan_int, &G::print_quake},
    {"DRF", Conversion::scan_int, &G::drum_format},
    {"ALW", Conversion::scan_int, &G::alarm_wav},
    {"OPS", Conversion::scan_int, &G::sync_source_dcf},
    {"YAC", Conversion::scan_int, &G::y_scale_all_channels},
    {"CKT", Conversion::text, &G::clock_trim},
    {"ASN", Conversion::text, &G::ad_serial},
};

constexpr double int16_min = -32768;
constexpr double int16_max = 32767;

bool in_int16(double value) { return value >= int16_min && value <= int16_max; }

// ---------------------------------------------------------------- writing

// A text value must stay on its own line: a line break inside it would turn
// the rest of the text into lines of their own, so it is written as a blank.
std::string one_line(const std::string& text) {
    std::string line = text;
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

std::string hex_upper(int value) {
    // 16-bit two's complement, so every int16 value reads back unchanged.
    const unsigned word = static_cast<unsigned>(value) & (value < 0 ? 0xFFFFu : 0xFFFFFFFFu);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", word);
    return buffer;
}

template <typename Record>
std::string numeric_text(const Record& record, const FieldPointer<Record>& field) {
    if (const auto* p = std::get_if<int Record::*>(&field)) return signed_number_text(record.**p);
    if (const auto* p = std::get_if<double Record::*>(&field)) {
        return signed_number_text(record.**p);
    }
    return {};
}

void append_line(std::string& out, std::string_view key, const std::string& value) {
    out += key;
    out += '=';
    out += value;
    out += "\r\n";
}

// ---------------------------------------------------------------- reading

// The value for a reason text: printable, and not endless.
std::string shown_value(std::string_view value) {
    std::string shown;
    for (char c : value.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            shown += c;
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", u);
            shown += buffer;
        }
    }
    if (value.size() > 40) shown += "...";
    return shown;
}

struct LineContext {
    int line_number;
    std::string_view line;
    std::string_view key;
    std::string_view value;
    std::vector<SettingsProblem>& problems;

    void report(int error_number, const std::string& reason) const {
        problems.push_back({line_number, std::string(line), error_number, reason});
    }
    void not_a_number() const {
        report(type_mismatch_error, "value '" + shown_value(value) + "' of " + std::string(key) +
                                        " is not a number");
    }
    void out_of_range(const char* range) const {
        report(overflow_error, "value '" + shown_value(value) + "' of " + std::string(key) +
                                   " is outside " + range);
    }
};

// Converts a numeric value; false (and a problem) when the field must keep
// its value.
bool convert_number(const LineContext& context, Conversion conversion, double& result) {
    double value = 0;
    switch (conversion) {
        case Conversion::scan_int:
        case Conversion::scan_double:
            value = number_scan(context.value);
            break;
        case Conversion::direct_int:
        case Conversion::direct_double:
            if (!direct_number(context.value, value)) {
                context.not_a_number();
                return false;
            }
            break;
        case Conversion::hex_int:
            value = number_scan("&H" + std::string(context.value));
            // Up to four hex digits form a 16-bit two's complement word.
            if (value >= 0x8000 && value <= 0xFFFF) value -= 0x10000;
            break;
        default:
            return false;
    }
    if (conversion == Conversion::scan_double || conversion == Conversion::direct_double) {
        if (!std::isfinite(value)) {
            context.out_of_range("the range of a number");
            return false;
        }
    } else {
        value = round_half_even(value);
        if (!in_int16(value)) {
            context.out_of_range("-32768..32767");
            return false;
        }
    }
    result = value;
    return true;
}

template <typename Record>
void store_value(const LineContext& context, const KeySpec<Record>& entry, Record& record) {
    switch (entry.conversion) {
        case Conversion::text:
        case Conversion::start_list:
        case Conversion::stop_list:
        case Conversion::correction_list:
            record.*std::get<std::string Record::*>(entry.field) = std::string(context.value);
            return;
        case Conversion::extension:
            record.*std::get<std::string Record::*>(entry.field) =
                std::string(context.value.substr(0, 3));
            return;
        default:
            break;
    }
    double value = 0;
    if (!convert_number(context, entry.conversion, value)) return;
    if (const auto* p = std::get_if<int Record::*>(&entry.field)) {
        record.**p = static_cast<int>(value);
    } else if (const auto* p = std::get_if<double Record::*>(&entry.field)) {
        record.**p = value;
    }
}

template <typename Record, std::size_t N>
const KeySpec<Record>* find_key(const KeySpec<Record> (&table)[N], std::string_view key) {
    for (const auto& entry : table) {
        if (key == entry.key) return &entry;
    }
    return nullptr;
}

// Channel keys are recognised all upper case or all lower case.
const KeySpec<C>* find_channel_key(std::string_view key) {
    if (key.size() != 3) return nullptr;
    if (const auto* entry = find_key(channel_keys, key)) return entry;
    std::string upper(key);
    for (char& c : upper) {
        if (c < 'a' || c > 'z') return nullptr;
        c = static_cast<char>(c - 'a' + 'A');
    }
    return find_key(channel_keys, upper);
}

// Splits into lines; CR LF, a lone LF and a lone CR all end a line.
std::vector<std::string_view> split_lines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(bytes.substr(start, i - start));
            i += (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
}

std::string_view value_of(std::string_view line) {
    return line.size() > 4 ? line.substr(4) : std::string_view();
}

std::string_view trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

// One line after "[END GENERAL]" that is not a classic section: a
// "[SECTION]" line starts a section of new settings, a "KEY=value" line in
// one is kept, anything else in one is reported. Lines before the first such
// section are passed over, as they always were.
void parse_extra_line(std::string_view raw, int line_number, std::string& section,
                      ExtraSections& extra, std::vector<SettingsProblem>& problems) {
    // Names are letters, digits, "_", "." and "-", so that what is written
    // reads back as the same section and key.
    const auto is_name = [](std::string_view name) {
        return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
            return std::isalnum(c) || c == '_' || c == '.' || c == '-';
        });
    };
    const std::string_view line = trimmed(raw);
    if (line.empty()) return;
    if (line.front() == '[' && line.back() == ']') {
        const std::string_view name = line.substr(1, line.size() - 2);
        // A classic section's name (a header with blanks around it) is no
        // new section: written back it would read as the classic one.
        const bool classic = name == "GENERAL" || name.starts_with("CHANNEL");
        section = is_name(name) && !classic ? std::string(name) : std::string();
        if (section.empty()) {
            problems.push_back({line_number, std::string(raw), type_mismatch_error,
                                "not a section name; its lines are skipped"});
        }
        return;
    }
    if (section.empty()) return;
    const std::size_t equals = line.find('=');
    const std::string_view key =
        equals == std::string_view::npos ? std::string_view() : trimmed(line.substr(0, equals));
    if (!is_name(key)) {
        problems.push_back({line_number, std::string(raw), type_mismatch_error,
                            "not a KEY=value line in [" + section + "]"});
        return;
    }
    extra.set(section, key, trimmed(line.substr(equals + 1)));
}

void after_store(ChannelSettings& channel, Conversion conversion) {
    switch (conversion) {
        case Conversion::start_list:
            expand_start_params(channel);
            break;
        case Conversion::stop_list:
            expand_stop_params(channel);
            break;
        case Conversion::correction_list:
            expand_magnitude_correction(channel);
            break;
        default:
            break;
    }
}

std::string describe_errno(int error) { return std::strerror(error); }

// Reads a whole file. False with errno kept when it cannot be opened or read.
bool read_whole_file(const std::filesystem::path& path, std::string& bytes, int& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            error = errno;
            ::close(fd);
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return true;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

}  // namespace

void apply_new_file_values(Settings& settings, const std::string& program_folder) {
    settings = Settings{};
    for (int n = 1; n <= 4; ++n) {
        ChannelSettings& ch = settings.channel(n);
        ch.sps_code = 4;
        ch.axis_code = n;
        ch.y_scale = 10;
        ch.start_params = "2000,2,2,1,30,3";
        ch.stop_params = "1800,2";
        ch.alarm_threshold = 5000;
        ch.file_extension = "ex" + std::to_string(n);
        ch.magnitude_correction = "0.001,0.001,0.001,0.001,0.001";
        ch.drum_scale = 2;
        ch.sensor_sensitivity = 1;
        ch.amplifier_gain = 1;
        ch.ad_bits = 1;
        ch.ad_range = 20;
        ch.data_output_factor = 1;
        expand_start_params(ch);
        expand_stop_params(ch);
        expand_magnitude_correction(ch);
    }

    // The folder without a trailing "/", except the root itself.
    std::string folder = program_folder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string prefix = folder == "/" ? "" : folder;

    GeneralSettings& g = settings.general;
    g.elevation = "350";
    g.location = "Location";
    g.coordinates = "14.39N 12.33E";
    g.chart_speed = 20;
    g.comm_port = 1;
    g.event_browser = "xdg-open";
    g.events_folder = prefix + "/events";
    g.sync_every = 3;
    g.gmt_correction = -1;
    g.watchdog_period = 60;
    g.bmp_update = 3;
    g.hours_per_row = 3;
    g.flush_period = 2;
    g.purge_days = 30;
    g.never_purge = 1;
    g.review_y_zoom = 10;
    g.review_rows = 6;
    g.review_chart_speed = 50;
    g.review_path = folder;
    g.event_format = 1;
    g.ad_type = 1;
    g.ad_base_address = 330;
    g.drum_format = 3;
    g.sync_source_dcf = 1;
    g.clock_trim = "FFFFFF02";
    g.ad_serial = "FFFFFFFF";
    settings.sync_source_text = "DCF";
}

std::string format_settings(const Settings& settings) {
    std::string out;
    out.reserve(4096);
    for (int n = 1; n <= 4; ++n) {
        const ChannelSettings& ch = settings.channel(n);
        out += "[CHANNEL" + std::to_string(n) + "]\r\n";
        for (const auto& entry : channel_keys) {
            if (const auto* p = std::get_if<std::string C::*>(&entry.field)) {
                append_line(out, entry.key, one_line(ch.**p));
            } else {
                append_line(out, entry.key, numeric_text(ch, entry.field) + " ");
            }
        }
    }
    out += "[GENERAL]\r\n";
    const GeneralSettings& g = settings.general;
    for (const auto& entry : general_keys) {
        std::string value;
        if (const auto* p = std::get_if<std::string G::*>(&entry.field)) {
            value = one_line(g.**p);
        } else if (entry.conversion == Conversion::hex_int) {
            value = " " + hex_upper(g.*std::get<int G::*>(entry.field));
        } else if (entry.conversion == Conversion::direct_int) {
            value = numeric_text(g, entry.field) + " ";  // PAP, COM
        } else {
            value = numeric_text(g, entry.field);
        }
        append_line(out, entry.key, value);
    }
    out += "[END GENERAL]\r\n";
    out += settings.extra.format();
    return out;
}

std::vector<SettingsProblem> parse_settings(std::string_view bytes, Settings& settings) {
    std::vector<SettingsProblem> problems;
    settings.general.service_mode = 0;
    for (auto& ch : settings.channels) ch.drum_scale = 1;
    settings.extra = ExtraSections();

    const std::vector<std::string_view> lines = split_lines(bytes);
    enum class ChannelState { none, valid, invalid };
    ChannelState channel_state = ChannelState::none;
    int channel = 0;
    // After "[END GENERAL]" the sections of new settings follow; a classic
    // section header there is still read as one.
    bool after_general = false;
    std::string extra_section;

    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const int line_number = static_cast<int>(i) + 1;
        if (after_general) {
            const bool classic_line =
                line.substr(0, 8) == "[CHANNEL" || line == "[GENERAL]" ||
                (extra_section.empty() && find_channel_key(line.substr(0, 3)) != nullptr);
            if (!classic_line) {
                parse_extra_line(line, line_number, extra_section, settings.extra, problems);
                continue;
            }
        }
        if (line.substr(0, 8) == "[CHANNEL") {
            extra_section.clear();
            const double number = round_half_even(number_scan(line.substr(8)));
            if (number >= 1 && number <= 4) {
                channel = static_cast<int>(number);
                channel_state = ChannelState::valid;
            } else {
                // The lines of such a section are skipped with this one report.
                channel_state = ChannelState::invalid;
                problems.push_back({line_number, std::string(line), subscript_error,
                                    "channel '" + shown_value(line.substr(8)) +
                                        "' is outside 1..4; its lines are skipped"});
            }
            continue;
        }
        const std::string_view key = line.substr(0, 3);
        if (const KeySpec<C>* entry = find_channel_key(key)) {
            const LineContext context{line_number, line, key, value_of(line), problems};
            if (channel_state == ChannelState::none) {
                context.report(subscript_error,
                               std::string(key) + " comes before any [CHANNEL] line");
            } else if (channel_state == ChannelState::valid) {
                ChannelSettings& ch = settings.channel(channel);
                store_value(context, *entry, ch);
                after_store(ch, entry->conversion);
            }
            continue;
        }
        if (key == "[GE") {
            for (++i; i < lines.size(); ++i) {
                const std::string_view general_line = lines[i];
                if (general_line == "[END GENERAL]") {
                    after_general = true;
                    break;
                }
                const std::string_view general_key = general_line.substr(0, 3);
                if (const KeySpec<G>* entry = find_key(general_keys, general_key)) {
                    const LineContext context{static_cast<int>(i) + 1, general_line, general_key,
                                              value_of(general_line), problems};
                    store_value(context, *entry, settings.general);
                }
            }
        }
    }

    // A hand-edited file may name SPS after STA/STO; the sample counts follow
    // the final sample rate.
    for (auto& ch : settings.channels) recompute_event_lengths(ch);
    settings.sync_source_text = settings.general.sync_source_dcf != 0 ? "DCF" : "GPS";
    return problems;
}

namespace {

// The items of a list-valued setting as numbers. An item that was not typed
// (the list is shorter, or the item is empty) keeps its preset, as a user who
// typed only the first items expects; a typed 0 stays 0.
template <std::size_t N>
std::array<double, N> list_values(std::string_view text, const std::array<double, N>& presets) {
    std::vector<std::string> items(N);
    parse_number_list(text, items, 32767, 0);
    std::array<double, N> values = presets;
    for (std::size_t i = 0; i < N; ++i) {
        if (items[i].empty()) continue;
        const double v = number_scan(items[i]);
        if (std::isfinite(v)) values[i] = v;
    }
    return values;
}

}  // namespace

void expand_start_params(ChannelSettings& channel) {
    constexpr std::array<double, 6> presets{32767, 2, 2, 1, 30, 3};
    const auto values = list_values(channel.start_params, presets);
    // A list cut short after its sixth item is not limited: keep the preset
    // for an amplitude that does not fit.
    const double amplitude = round_half_even(values[0]);
    channel.start_amplitude = in_int16(amplitude) ? static_cast<int>(amplitude) : 32767;
    channel.samples_over_start = values[1];
    channel.pre_event_minutes = values[2];
    channel.sta_seconds = values[3];
    channel.lta_seconds = values[4];
    channel.start_ratio = values[5];
    recompute_event_lengths(channel);
}

void expand_stop_params(ChannelSettings& channel) {
    constexpr std::array<double, 4> presets{32767, 4, 3, 5000};
    const auto values = list_values(channel.stop_params, presets);
    const double amplitude = round_half_even(values[0]);
    channel.stop_amplitude = in_int16(amplitude) ? static_cast<int>(amplitude) : 32767;
    channel.post_event_minutes = std::fabs(values[1]);
    channel.stop_ratio = values[2];
    // A maximum length of 0 would end every event after its first sample and
    // start the next one at once: a storm of one-sample files. It reads as
    // the preset.
    channel.max_event_minutes = values[3] > 0 ? values[3] : presets[3];
    recompute_event_lengths(channel);
}

void expand_magnitude_correction(ChannelSettings& channel) {
    std::vector<std::string> items(5);
    const std::string result = parse_number_list(channel.magnitude_correction, items, 100, -100);
    for (std::size_t i = 0; i < 5; ++i) {
        channel.mag_corr_terms[i] = (!result.empty() && result[0] == '!') ? "0" : items[i];
    }
}

void recompute_event_lengths(ChannelSettings& channel) {
    constexpr double limit = 1e6;
    const double sps = sps_value(channel.sps_code);
    channel.pre_event_samples = sps * channel.pre_event_minutes * 60;
    channel.post_event_samples = std::min(sps * channel.post_event_minutes * 60, limit);
    channel.max_event_samples = std::min(sps * channel.max_event_minutes * 60, limit);
}

LoadResult load_settings(const std::filesystem::path& path, const std::string& program_folder,
                         Settings& settings) {
    LoadResult result;
    std::string bytes;
    int error = 0;
    if (read_whole_file(path, bytes, error)) {
        result.problems = parse_settings(bytes, settings);
        return result;
    }

    apply_new_file_values(settings, program_folder);
    const std::string new_file = format_settings(settings);
    if (error != ENOENT && error != ENOTDIR) {
        // The file is there but unreadable: run on the new-file values and
        // leave the user's file alone rather than replace it.
        result.read_error = "cannot read " + path.string() + ": " + describe_errno(error);
        result.problems = parse_settings(new_file, settings);
        return result;
    }

    std::string write_error;
    if (!save_settings(path, settings, &write_error)) {
        result.write_error = write_error;
        result.problems = parse_settings(new_file, settings);
        return result;
    }
    result.created_new_file = true;
    if (read_whole_file(path, bytes, error)) {
        result.problems = parse_settings(bytes, settings);
    } else {
        result.read_error = "cannot read " + path.string() + ": " + describe_errno(error);
        result.problems = parse_settings(new_file, settings);
    }
    return result;
}

bool replace_file(const std::filesystem::path& path, std::string_view bytes, std::string* error) {
    auto fail = [&](int error_number) {
        if (error) *error = "cannot write " + path.string() + ": " + describe_errno(error_number);
        return false;
    };

    // Write a temporary file beside the target, then rename it over the
    // target: a failed write never leaves a half-written file.
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return fail(errno);

    struct stat existing {};
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);

    if (!write_all(fd, bytes) || ::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        return fail(saved);
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        return fail(saved);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        return fail(saved);
    }
    return true;
}

bool save_settings(const std::filesystem::path& path, const Settings& settings,
                   std::string* error) {
    return replace_file(path, format_settings(settings), error);
}

}  // namespace tw::config
