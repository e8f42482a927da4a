#pragma once
// The command line of terrawave.

#include "stream/channel_codes.h"
#include "stream/stream.h"
#include "stream/stream_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace tw::app {

// The longest stretch --retrigger replays: a week.
inline constexpr int max_retrigger_minutes = 7 * 24 * 60;

struct CommandLine {
    std::string folder;               // --folder DIR
    std::string port;                 // --port DEVICE
    bool headless = false;            // --headless
    std::optional<double> run_for;    // --run-for SECONDS
    double status_every = 300;        // --status-every SECONDS (headless status line)
    std::optional<std::string> simulate;  // --simulate[=family]; "" means the configured family
    bool print_settings = false;      // --print-settings
    // --extract "YYYY/MM/DD HH:MM:SS" --minutes N [--channels 1,2,3,4]:
    // event files cut from the day tracks, without windows.
    std::optional<std::string> extract;
    int minutes = 0;
    std::vector<int> channels;  // empty: the channels the settings tick
    // --retrigger "YYYY/MM/DD HH:MM:SS" --minutes N [--channels 1,2]
    // [--settings FILE]: the day tracks replayed through the trigger; the
    // events it would have recorded are printed, nothing is written.
    std::optional<std::string> retrigger;
    std::string settings_file;  // --settings FILE: instead of the station's terrawv.ini
    // Standard data: --mseed ROOT, --seedlink PORT, --seedlink-bind ADDRESS,
    // --network NN, --station CODE, --location LL; empty when not given
    // (then [STREAM] of terrawv.ini or the default holds).
    std::string mseed_root;
    std::optional<int> seedlink_port;
    std::string seedlink_bind;
    std::string network;
    std::string station;
    std::string location;
    // The HTTP server: --http PORT, --http-bind ADDRESS.
    std::optional<int> http_port;
    std::string http_bind;
    // --datalink HOST:PORT: every record also goes to a ring server
    // (overrides [DATALINK] SERVER= of the settings).
    std::string datalink;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    CommandLine options;
    std::string error;  // non-empty: what was wrong, for a usage message
};

// The network, station and location codes of the options, in upper case.
stream::StreamCodes stream_codes(const CommandLine& options);
// What the stream is to do: the settings of [STREAM] with the command
// line's options over them.
stream::StreamOptions stream_options(const CommandLine& options, const stream::StreamSettings& file);

ParseResult parse_command_line(const std::vector<std::string>& arguments);
std::string usage_text();

}  // namespace tw::app
