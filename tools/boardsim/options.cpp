#include "boardsim/options.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>

#include "boardsim/board_time.h"

namespace tw::boardsim {

std::string_view to_string(Family family) {
    switch (family) {
    case Family::orda10: return "orda10";
    case Family::orda20: return "orda20";
    case Family::infiltec: return "infiltec";
    case Family::lx1500: return "lx1500";
    }
    return "orda10";
}

std::optional<Family> family_from_string(std::string_view name) {
    for (Family f : {Family::orda10, Family::orda20, Family::infiltec, Family::lx1500}) {
        if (name == to_string(f)) return f;
    }
    return std::nullopt;
}

bool is_orda(Family family) { return family == Family::orda10 || family == Family::orda20; }

std::string SimulatorOptions::resolved_version() const {
    if (!version.empty()) return version;
    return family == Family::orda20 ? "V180" : "V140";
}

std::vector<int> SimulatorOptions::accepted_speeds() const {
    if (speed < 0) return {};
    if (speed > 0) return {speed};
    switch (family) {
    case Family::orda10:
    case Family::orda20: return {14400, 38400};
    case Family::infiltec: return {9600};
    case Family::lx1500: return {19200};
    }
    return {};
}

std::string usage_text() {
    return "Usage: terrawave-boardsim --family orda10|orda20|infiltec|lx1500 [--link PATH] [options]\n"
           "\n"
           "Simulates the A/D board on a pseudo-terminal. Prints the device to open on\n"
           "the first line of standard output and runs until SIGINT or SIGTERM.\n"
           "\n"
           "Board:\n"
           "  --family F             orda10 (default), orda20, infiltec or lx1500\n"
           "  --link PATH            keep a symbolic link PATH pointing to the device\n"
           "  --version VNNN         identify reply (default V140 for orda10, V180 for\n"
           "                         orda20); V16x and V18x run channels at 100 / divisor\n"
           "                         samples per second, others at 200 / divisor\n"
           "  --speed S              answer only at S baud: 9600, 14400, 19200, 38400, or\n"
           "                         'any' (default: 14400 and 38400 for the ORDA boards,\n"
           "                         9600 Infiltec, 19200 LX1500)\n"
           "  --trim HEX8            EEPROM bytes 1-4, clock trimming (default FFFFFF02)\n"
           "  --serial HEX8          EEPROM bytes 16-19, serial number (default 0000A1B2)\n"
           "  --start \"YYYY/MM/DD HH:MM:SS\"  board time at start (default: PC local time)\n"
           "  --speed-factor N       board time runs N times faster than real time\n"
           "  --infiltec-rate N      Infiltec lines per second (default 10)\n"
           "  --lx1500-rate N        LX1500 lines per second (default 10)\n"
           "\n"
           "Signal (each channel is the sum of its parts; default noise of 10 counts):\n"
           "  --signal CH:noise:AMP  Gaussian noise, standard deviation AMP counts\n"
           "  --signal CH:sine:AMP:HZ  sine wave\n"
           "  --signal CH:offset:V   constant offset\n"
           "  --quake CH:HH:MM:SS:PEAK[:DURATION_S[:HZ]]  quake-like burst at that board time\n"
           "                         (default duration 60 s, strong phase at 2 Hz)\n"
           "  --spike CH:HH:MM:SS:PEAK[:DURATION_S]  a short loud knock at that board time\n"
           "                         (default duration 1 s)\n"
           "  --seed N               seed of noise and faults (default 1)\n"
           "\n"
           "Time packets:\n"
           "  --sync-every N         synchronisation bit (0x20) every N board seconds\n"
           "  --sync-lost-at HH:MM:SS  the time receiver loses its signal then (no more 0x20)\n"
           "  --dcf-daylight         DCF daylight-time bit (0x40)\n"
           "  --line-active 1|2      input line 1 (bit 0x08) or 2 (bit 0x10) active\n"
           "\n"
           "Faults:\n"
           "  --drift-ppm P          sample clock P ppm fast (negative: slow)\n"
           "  --time-jump HH:MM:SS:SECONDS  board time jumps by SECONDS at that time\n"
           "  --bad-time HH:MM:SS    send an impossible time (seconds 60) once at that time\n"
           "  --bad-packets RATE     fraction of packets garbled or truncated (0..1)\n"
           "  --lost-terminators RATE  fraction of packets sent without terminator (0..1)\n"
           "  --short-packet CH:HH:MM:SS:INDEX  send sample INDEX (0-based) of channel CH\n"
           "                         in that board second a byte short (ORDA boards)\n"
           "  --silent-at HH:MM:SS:SECONDS  send nothing for SECONDS board seconds\n"
           "  --silent-after SECONDS:DURATION  send nothing for DURATION real seconds,\n"
           "                         SECONDS after sampling first started\n"
           "  --unplug-after SECONDS:DURATION  close the device SECONDS after sampling first\n"
           "                         started; a new one (and the link) comes back after\n"
           "                         DURATION seconds\n"
           "\n"
           "Files:\n"
           "  --log FILE             every command received: \"HH:MM:SS.mmm 84 01 01 00 00 00\"\n"
           "  --record FILE          every sample sent: \"YYYY/MM/DD HH:MM:SS CH VALUE INDEX\"\n"
           "  --help                 this text\n";
}

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == '"') continue;  // tolerate quoted times such as 1:"12:00:00":500
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    parts.push_back(part);
    return parts;
}

std::optional<double> to_double(const std::string& text) {
    double value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> to_integer(const std::string& text) {
    std::int64_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

std::optional<std::array<std::uint8_t, 4>> to_hex_bytes(const std::string& text) {
    if (text.size() != 8) return std::nullopt;
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        unsigned value = 0;
        const char* first = text.data() + 2 * i;
        const auto [end, ec] = std::from_chars(first, first + 2, value, 16);
        if (ec != std::errc() || end != first + 2) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(value);
    }
    return bytes;
}

std::optional<int> to_channel(const std::string& text) {
    const auto value = to_integer(text);
    if (!value || *value < 1 || *value > 4) return std::nullopt;
    return static_cast<int>(*value);
}

// "HH", "MM", "SS" fields starting at `first`.
std::optional<int> time_fields(const std::vector<std::string>& parts, std::size_t first) {
    if (parts.size() < first + 3) return std::nullopt;
    return parse_time_of_day(parts[first] + ':' + parts[first + 1] + ':' + parts[first + 2]);
}

// Each handler reads the option's value and returns an error text, empty on success.
using Handler = std::function<std::string(const std::string&, SimulatorOptions&)>;

std::string parse_signal(const std::string& value, SimulatorOptions& o) {
    const auto parts = split(value, ':');
    const std::string usage = "--signal needs CH:noise:AMP, CH:sine:AMP:HZ or CH:offset:V";
    if (parts.size() < 3) return usage;
    SignalComponent component;
    const auto channel = to_channel(parts[0]);
    const auto amplitude = to_double(parts[2]);
    if (!channel) return "--signal: channel must be 1 to 4, not '" + parts[0] + "'";
    if (!amplitude) return "--signal: '" + parts[2] + "' is not a number";
    component.channel = *channel;
    component.amplitude = *amplitude;
    if (parts[1] == "noise" && parts.size() == 3) {
        if (*amplitude < 0) return "--signal: noise amplitude must not be negative";
        component.kind = SignalKind::noise;
    } else if (parts[1] == "offset" && parts.size() == 3) {
        component.kind = SignalKind::offset;
    } else if (parts[1] == "sine" && parts.size() == 4) {
        const auto hz = to_double(parts[3]);
        if (!hz || *hz < 0) return "--signal: '" + parts[3] + "' is not a frequency";
        component.kind = SignalKind::sine;
        component.frequency_hz = *hz;
    } else {
        return usage;
    }
    o.signals.push_back(component);
    return {};
}

std::string parse_burst(const std::string& value, SimulatorOptions& o, bool spike) {
    const auto parts = split(value, ':');
    const std::string usage = (spike ? "--spike needs CH:HH:MM:SS:PEAK[:DURATION_S], not '"
                                     : "--quake needs CH:HH:MM:SS:PEAK[:DURATION_S[:HZ]], not '") +
                              value + "'";
    if (parts.size() < 5 || parts.size() > (spike ? 6u : 7u)) return usage;
    QuakeSpec quake;
    quake.spike = spike;
    if (spike) quake.duration_s = 1;
    const auto channel = to_channel(parts[0]);
    const auto onset = time_fields(parts, 1);
    const auto peak = to_double(parts[4]);
    if (!channel || !onset || !peak || *peak < 0) return usage;
    quake.channel = *channel;
    quake.onset = *onset;
    quake.peak = *peak;
    if (parts.size() == 7) {
        const auto hz = to_double(parts[6]);
        if (!hz || *hz <= 0 || *hz > 50) return usage;
        quake.frequency_hz = *hz;
    }
    if (parts.size() >= 6) {
        const auto duration = to_double(parts[5]);
        if (!duration || *duration <= 0 || *duration > 86400) return usage;
        quake.duration_s = *duration;
    }
    o.quakes.push_back(quake);
    return {};
}

// HH:MM:SS:SECONDS
std::optional<std::pair<int, std::int64_t>> time_and_seconds(const std::string& value) {
    const auto parts = split(value, ':');
    if (parts.size() != 4) return std::nullopt;
    const auto at = time_fields(parts, 0);
    const auto seconds = to_integer(parts[3]);
    if (!at || !seconds) return std::nullopt;
    return std::pair{*at, *seconds};
}

// SECONDS:DURATION in real seconds
std::optional<RealSpan> real_span(const std::string& value) {
    const auto parts = split(value, ':');
    if (parts.size() != 2) return std::nullopt;
    const auto after = to_double(parts[0]);
    const auto duration = to_double(parts[1]);
    if (!after || !duration || *after < 0 || *duration <= 0) return std::nullopt;
    return RealSpan{*after, *duration};
}

std::string parse_rate(const std::string& name, const std::string& value, double& rate) {
    const auto r = to_double(value);
    if (!r || *r < 0 || *r > 1) return name + " needs a fraction from 0 to 1, not '" + value + "'";
    rate = *r;
    return {};
}

std::string parse_lines_per_second(const std::string& name, const std::string& value,
                                   double& rate) {
    const auto r = to_double(value);
    if (!r || *r <= 0 || *r > 1000) {
        return name + " needs a number of lines per second (up to 1000), not '" + value + "'";
    }
    rate = *r;
    return {};
}

const std::map<std::string, Handler>& value_options() {
    static const std::map<std::string, Handler> handlers{
        {"--family",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto family = family_from_string(v);
             if (!family) return "unknown board family '" + v + "' (use orda10, orda20, infiltec or lx1500)";
             o.family = *family;
             return {};
         }},
        {"--link",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             if (v.empty()) return "--link needs a path";
             o.link_path = v;
             return {};
         }},
        {"--version",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const bool ok = v.size() == 4 && v[0] == 'V' && std::isdigit(static_cast<unsigned char>(v[1])) &&
                             std::isdigit(static_cast<unsigned char>(v[2])) &&
                             std::isdigit(static_cast<unsigned char>(v[3]));
             if (!ok) return "--version needs 'V' and three digits (e.g. V140), not '" + v + "'";
             o.version = v;
             return {};
         }},
        {"--speed",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             if (v == "any") {
                 o.speed = -1;
                 return {};
             }
             const auto s = to_integer(v);
             if (!s || (*s != 9600 && *s != 14400 && *s != 19200 && *s != 38400)) {
                 return "--speed needs 9600, 14400, 19200, 38400 or any, not '" + v + "'";
             }
             o.speed = static_cast<int>(*s);
             return {};
         }},
        {"--trim",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto bytes = to_hex_bytes(v);
             if (!bytes) return "--trim needs 8 hex digits (e.g. FFFFFF02), not '" + v + "'";
             o.trim = *bytes;
             return {};
         }},
        {"--serial",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto bytes = to_hex_bytes(v);
             if (!bytes) return "--serial needs 8 hex digits (e.g. 0000A1B2), not '" + v + "'";
             o.serial = *bytes;
             return {};
         }},
        {"--start",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto t = parse_board_date_time(v);
             if (!t) return "--start needs \"YYYY/MM/DD HH:MM:SS\", not '" + v + "'";
             o.start_time = *t;
             return {};
         }},
        {"--speed-factor",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto f = to_double(v);
             if (!f || *f <= 0 || *f > 10000) return "--speed-factor needs a number above 0 and up to 10000, not '" + v + "'";
             o.speed_factor = *f;
             return {};
         }},
        {"--signal", parse_signal},
        {"--quake", [](const std::string& v, SimulatorOptions& o) { return parse_burst(v, o, false); }},
        {"--spike", [](const std::string& v, SimulatorOptions& o) { return parse_burst(v, o, true); }},
        {"--seed",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             std::uint64_t seed = 0;
             const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seed);
             if (ec != std::errc() || end != v.data() + v.size() || v.empty()) return "--seed needs a whole number, not '" + v + "'";
             o.seed = seed;
             return {};
         }},
        {"--drift-ppm",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto p = to_double(v);
             if (!p || std::abs(*p) > 100000) return "--drift-ppm needs a number from -100000 to 100000, not '" + v + "'";
             o.drift_ppm = *p;
             return {};
         }},
        {"--sync-every",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto n = to_integer(v);
             if (!n || *n < 1 || *n > 86400) return "--sync-every needs a number of seconds from 1 to 86400, not '" + v + "'";
             o.sync_every = static_cast<int>(*n);
             return {};
         }},
        {"--line-active",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             if (v != "1" && v != "2") return "--line-active needs 1 or 2, not '" + v + "'";
             o.line_active[v == "1" ? 0 : 1] = true;
             return {};
         }},
        {"--time-jump",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto p = time_and_seconds(v);
             if (!p || std::abs(p->second) > 10 * seconds_per_day) return "--time-jump needs HH:MM:SS:SECONDS, not '" + v + "'";
             o.time_jumps.push_back(TimeJump{p->first, static_cast<int>(p->second)});
             return {};
         }},
        {"--sync-lost-at",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto t = parse_time_of_day(v);
             if (!t) return "--sync-lost-at needs HH:MM:SS, not '" + v + "'";
             o.sync_lost_at = *t;
             return {};
         }},
        {"--bad-time",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto t = parse_time_of_day(v);
             if (!t) return "--bad-time needs HH:MM:SS, not '" + v + "'";
             o.bad_times.push_back(*t);
             return {};
         }},
        {"--bad-packets",
         [](const std::string& v, SimulatorOptions& o) { return parse_rate("--bad-packets", v, o.bad_packet_rate); }},
        {"--lost-terminators",
         [](const std::string& v, SimulatorOptions& o) {
             return parse_rate("--lost-terminators", v, o.lost_terminator_rate);
         }},
        {"--short-packet",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto parts = split(v, ':');
             const std::string usage = "--short-packet needs CH:HH:MM:SS:INDEX, not '" + v + "'";
             if (parts.size() != 5) return usage;
             const auto channel = to_channel(parts[0]);
             const auto at = time_fields(parts, 1);
             const auto index = to_integer(parts[4]);
             if (!channel || !at || !index || *index < 0 || *index > 1000) return usage;
             o.short_packets.push_back(ShortPacket{*channel, *at, static_cast<int>(*index)});
             return {};
         }},
        {"--silent-at",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto p = time_and_seconds(v);
             if (!p || p->second <= 0 || p->second > seconds_per_day) return "--silent-at needs HH:MM:SS:SECONDS, not '" + v + "'";
             o.silent_at.push_back(SilentSpan{p->first, static_cast<int>(p->second)});
             return {};
         }},
        {"--silent-after",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto span = real_span(v);
             if (!span) return "--silent-after needs SECONDS:DURATION, not '" + v + "'";
             o.silent_after = span;
             return {};
         }},
        {"--unplug-after",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             const auto span = real_span(v);
             if (!span) return "--unplug-after needs SECONDS:DURATION, not '" + v + "'";
             o.unplug_after = span;
             return {};
         }},
        {"--infiltec-rate",
         [](const std::string& v, SimulatorOptions& o) {
             return parse_lines_per_second("--infiltec-rate", v, o.infiltec_rate);
         }},
        {"--lx1500-rate",
         [](const std::string& v, SimulatorOptions& o) {
             return parse_lines_per_second("--lx1500-rate", v, o.lx1500_rate);
         }},
        {"--log",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             if (v.empty()) return "--log needs a file";
             o.log_path = v;
             return {};
         }},
        {"--record",
         [](const std::string& v, SimulatorOptions& o) -> std::string {
             if (v.empty()) return "--record needs a file";
             o.record_path = v;
             return {};
         }},
    };
    return handlers;
}

}  // namespace

ParsedCommandLine parse_command_line(const std::vector<std::string>& arguments) {
    ParsedCommandLine result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--help" || word == "-h") {
            result.help = true;
            continue;
        }
        if (word == "--dcf-daylight") {
            result.options.dcf_daylight = true;
            continue;
        }
        std::string name = word;
        std::string value;
        bool has_value = false;
        if (const auto eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = word.substr(0, eq);
            value = word.substr(eq + 1);
            has_value = true;
        }
        const auto handler = value_options().find(name);
        if (handler == value_options().end()) {
            result.error = "unknown option '" + word + "'";
            return result;
        }
        if (!has_value) {
            if (i + 1 >= arguments.size()) {
                result.error = name + " needs a value";
                return result;
            }
            value = arguments[++i];
        }
        result.error = handler->second(value, result.options);
        if (!result.error.empty()) return result;
    }
    return result;
}

}  // namespace tw::boardsim
