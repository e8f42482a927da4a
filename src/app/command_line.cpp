#include "app/command_line.h"

#include "config/time_stamp.h"
#include "stream/channel_codes.h"
#include "stream/datalink_settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tw::app {

namespace {
bool is_family(const std::string& name) {
    return name == "orda10" || name == "orda20" || name == "infiltec" || name == "lx1500";
}
// "1,2,4": channels 1..4, each once.
bool read_channels(const std::string& text, std::vector<int>& channels) {
    channels.clear();
    std::size_t at = 0;
    while (at <= text.size()) {
        const auto comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        if (item.size() != 1 || item[0] < '1' || item[0] > '4') return false;
        const int channel = item[0] - '0';
        if (std::find(channels.begin(), channels.end(), channel) != channels.end()) return false;
        channels.push_back(channel);
        at = comma + 1;
    }
    return !channels.empty();
}

// A number of seconds, 0 or more.
std::optional<double> seconds_of(const std::string& text) {
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || !(seconds >= 0) ||
        !std::isfinite(seconds))
        return std::nullopt;
    return seconds;
}
}  // namespace

std::string usage_text() {
    return "Usage: terrawave [--folder DIR] [--port DEVICE] [--headless] [--run-for SECONDS]\n"
           "                 [--simulate[=orda10|orda20|infiltec|lx1500]] [--print-settings]\n"
           "                 [--mseed ROOT] [--seedlink PORT] [--seedlink-bind ADDRESS]\n"
           "                 [--network NN] [--station CODE] [--location LL]\n"
           "                 [--http PORT] [--http-bind ADDRESS] [--datalink HOST:PORT]\n"
           "                 [--help] [--version]\n"
           "       terrawave [--folder DIR] --extract \"YYYY/MM/DD HH:MM:SS\" --minutes N\n"
           "                 [--channels 1,2,3,4]\n"
           "       terrawave [--folder DIR] --retrigger \"YYYY/MM/DD HH:MM:SS\" --minutes N\n"
           "                 [--channels 1,2,3,4] [--settings FILE]\n"
           "\n"
           "Data acquisition for a seismic station on a small A/D board.\n"
           "\n"
           "  --folder DIR      station folder (default $TERRAWAVE_HOME, else\n"
           "                    ~/.local/share/terrawave); it holds terrawv.ini and every\n"
           "                    file the program writes\n"
           "  --port DEVICE     serial device of the board (default: port 1..4 of the\n"
           "                    settings is /dev/ttyS0..3)\n"
           "  --headless        no windows: start acquisition at once, messages on\n"
           "                    standard error, stop cleanly on SIGINT or SIGTERM\n"
           "  --run-for SECONDS with --headless: stop after that many seconds\n"
           "  --status-every SECONDS  with --headless: a status line this often\n"
           "                    (default 300; 0: none)\n"
           "  --simulate[=FAMILY] use the built-in board simulator instead of a board\n"
           "  --print-settings  print the settings file as the program understands it\n"
           "  --extract TIME --minutes N [--channels LIST]\n"
           "                    cut N minutes (1 to 480) from TIME out of the day tracks\n"
           "                    into event files, as the Review window does, and print\n"
           "                    their paths\n"
           "  --retrigger TIME --minutes N [--channels LIST] [--settings FILE]\n"
           "                    replay N minutes (1 to 10080) of the day tracks from TIME\n"
           "                    through the trigger with the station's settings (or those\n"
           "                    of FILE) and print the events it would have recorded;\n"
           "                    nothing is written\n"
           "  --mseed ROOT      also write every acquiring channel as miniSEED day files\n"
           "                    under ROOT (ROOT/YEAR/NET/STA/CHAN.D/NET.STA.LOC.CHAN.D.YEAR.DAY)\n"
           "  --seedlink PORT   serve the channels live over SeedLink on TCP port PORT\n"
           "                    (18000 is the usual one; 0 picks a free port)\n"
           "  --seedlink-bind ADDRESS  listen on this address only (default: all)\n"
           "  --http PORT       serve FDSN station and dataselect over HTTP on TCP port\n"
           "                    PORT (8080 is a usual one; 0 picks a free port)\n"
           "  --http-bind ADDRESS  listen on this address only (default: all)\n"
           "  --network NN      network code of the data (default XX)\n"
           "  --station CODE    station code, at most 5 letters or digits (needed with\n"
           "                    --mseed, --seedlink, --http or --datalink)\n"
           "  --location LL     location code (default empty)\n"
           "  --datalink HOST:PORT  also write every record to the ring server at HOST:PORT\n"
           "                    over DataLink (16000 is the usual port), each record once,\n"
           "                    catching up after an outage (from the archive with --mseed)\n"
           "  --help            this text\n"
           "  --version         the program version\n";
}

stream::StreamCodes stream_codes(const CommandLine& options) {
    return stream::normalize_codes(
        {options.network.empty() ? "XX" : options.network, options.station, options.location});
}

stream::StreamOptions stream_options(const CommandLine& options, const stream::StreamSettings& file) {
    auto pick = [](const std::string& given, const std::string& kept) { return given.empty() ? kept : given; };
    stream::StreamOptions out;
    out.archive_root = pick(options.mseed_root, file.archive_root);
    out.seedlink_port = options.seedlink_port ? options.seedlink_port : file.seedlink_port;
    out.seedlink_bind = options.seedlink_port ? options.seedlink_bind : pick(options.seedlink_bind, file.seedlink_bind);
    out.codes = stream::normalize_codes({pick(options.network, file.network), pick(options.station, file.station),
                                         pick(options.location, file.location)});
    out.limits.max_clients = static_cast<std::size_t>(file.max_clients);
    out.limits.max_per_address = static_cast<std::size_t>(file.max_per_address);
    return out;
}

ParseResult parse_command_line(const std::vector<std::string>& arguments) {
    ParseResult result;
    auto& options = result.options;
    std::string minutes_text;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        auto value_of = [&](const std::string& name, std::string& value) {
            const std::string prefix = name + "=";
            if (word.rfind(prefix, 0) == 0) {
                value = word.substr(prefix.size());
                return true;
            }
            if (word == name) {
                if (i + 1 >= arguments.size()) {
                    result.error = name + " needs a value";
                    return false;
                }
                value = arguments[++i];
                return true;
            }
            return false;
        };
        auto seconds_value = [&](const std::string& name, const std::string& value) {
            const auto seconds = seconds_of(value);
            if (!seconds) result.error = name + " needs a number of seconds, not '" + value + "'";
            return seconds;
        };
        auto port_value = [&](const std::string& name,
                              const std::string& value) -> std::optional<int> {
            int port = -1;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
            if (ec != std::errc() || end != value.data() + value.size() || port < 0 || port > 65535) {
                result.error = name + " needs a TCP port 0 to 65535, not '" + value + "'";
                return std::nullopt;
            }
            return port;
        };
        std::string value;
        if (word == "--help" || word == "-h") {
            options.help = true;
        } else if (word == "--version") {
            options.version = true;
        } else if (word == "--headless") {
            options.headless = true;
        } else if (word == "--print-settings") {
            options.print_settings = true;
        } else if (word == "--simulate") {
            options.simulate = std::string();
        } else if (word.rfind("--simulate=", 0) == 0) {
            const std::string family = word.substr(11);
            if (!is_family(family)) {
                result.error = "unknown board family '" + family +
                               "' (use orda10, orda20, infiltec or lx1500)";
                return result;
            }
            options.simulate = family;
        } else if (value_of("--folder", value)) {
            if (value.empty()) {
                result.error = "--folder needs a folder";
                return result;
            }
            options.folder = value;
        } else if (value_of("--port", value)) {
            if (value.empty()) {
                result.error = "--port needs a device";
                return result;
            }
            options.port = value;
        } else if (value_of("--run-for", value)) {
            options.run_for = seconds_value("--run-for", value);
            if (!options.run_for) return result;
        } else if (value_of("--status-every", value)) {
            const auto seconds = seconds_value("--status-every", value);
            if (!seconds) return result;
            options.status_every = *seconds;
        } else if (value_of("--extract", value)) {
            if (value.size() != 19 || !config::stamp_seconds(value)) {
                result.error = "--extract needs \"YYYY/MM/DD HH:MM:SS\", not '" + value + "'";
                return result;
            }
            options.extract = value;
        } else if (value_of("--retrigger", value)) {
            if (value.size() != 19 || !config::stamp_seconds(value)) {
                result.error = "--retrigger needs \"YYYY/MM/DD HH:MM:SS\", not '" + value + "'";
                return result;
            }
            options.retrigger = value;
        } else if (value_of("--settings", value)) {
            if (value.empty()) {
                result.error = "--settings needs a settings file";
                return result;
            }
            options.settings_file = value;
        } else if (value_of("--minutes", value)) {
            // Checked against its command's limit at the end.
            minutes_text = value;
            options.minutes = -1;
        } else if (value_of("--channels", value)) {
            if (!read_channels(value, options.channels)) {
                result.error = "--channels needs channel numbers 1 to 4 joined by commas, not '" +
                               value + "'";
                return result;
            }
        } else if (value_of("--mseed", value)) {
            if (value.empty()) {
                result.error = "--mseed needs a folder";
                return result;
            }
            options.mseed_root = value;
        } else if (value_of("--seedlink", value)) {
            options.seedlink_port = port_value("--seedlink", value);
            if (!options.seedlink_port) return result;
        } else if (value_of("--seedlink-bind", value)) {
            options.seedlink_bind = value;
        } else if (value_of("--http", value)) {
            options.http_port = port_value("--http", value);
            if (!options.http_port) return result;
        } else if (value_of("--http-bind", value)) {
            options.http_bind = value;
        } else if (value_of("--datalink", value)) {
            std::string host;
            int port = 0;
            if (!stream::parse_host_port(value, host, port)) {
                result.error = "--datalink needs HOST:PORT (a port 1 to 65535), not '" + value + "'";
                return result;
            }
            options.datalink = value;
        } else if (value_of("--network", value)) {
            options.network = value;
        } else if (value_of("--station", value)) {
            options.station = value;
        } else if (value_of("--location", value)) {
            options.location = value;
        } else {
            if (result.error.empty()) result.error = "unknown option '" + word + "'";
            return result;
        }
        if (!result.error.empty()) return result;
    }
    if (options.run_for && !options.headless) {
        result.error = "--run-for goes with --headless";
    } else if (!options.seedlink_bind.empty() && !options.seedlink_port) {
        result.error = "--seedlink-bind goes with --seedlink";
    } else if (!options.http_bind.empty() && !options.http_port) {
        result.error = "--http-bind goes with --http";
    } else if ((!options.mseed_root.empty() || options.seedlink_port || options.http_port ||
                !options.datalink.empty()) &&
               !options.station.empty()) {
        // A station code may also come from [STREAM]: checked at start-up.
        const std::string problem = stream::check_codes(stream_codes(options));
        if (!problem.empty()) result.error = problem;
    }
    if (!minutes_text.empty() || options.minutes != 0) {
        const int limit = options.retrigger ? max_retrigger_minutes : 480;
        int minutes = 0;
        const auto [end, ec] =
            std::from_chars(minutes_text.data(), minutes_text.data() + minutes_text.size(), minutes);
        if (ec != std::errc() || end != minutes_text.data() + minutes_text.size() || minutes < 1 ||
            minutes > limit) {
            result.error = "--minutes needs a whole number from 1 to " + std::to_string(limit) +
                           ", not '" + minutes_text + "'";
            return result;
        }
        options.minutes = minutes;
    }
    const bool cutting = options.extract || options.retrigger;
    const std::string command = options.retrigger ? "--retrigger" : "--extract";
    if (options.extract && options.retrigger) result.error = "--extract and --retrigger go one at a time";
    if (cutting && options.minutes == 0) result.error = command + " needs --minutes";
    if (!cutting && (options.minutes != 0 || !options.channels.empty()))
        result.error = "--minutes and --channels go with --extract or --retrigger";
    if (!options.settings_file.empty() && !options.retrigger) result.error = "--settings goes with --retrigger";
    if (cutting && (options.headless || options.simulate || options.print_settings))
        result.error = command + " goes with neither --headless, --simulate nor --print-settings";
    return result;
}

}  // namespace tw::app
