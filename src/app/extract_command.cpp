#include "app/extract_command.h"

#include "app/startup.h"
#include "config/station_paths.h"
#include "datalog/track_format.h"
#include "display/picture_files.h"

#include <fstream>
#include <iterator>
#include <ostream>

namespace tw::app {

namespace {

// One line for standard error: the CR LF of a multi-line message become
// blanks.
std::string one_line(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c == '\n') continue;
        line += c == '\r' ? ' ' : c;
    }
    return line;
}

}  // namespace

datalog::ExtractionContext extraction_context(Station& station) {
    return datalog::ExtractionContext{station.settings,
                                      config::review_folder_path(station.settings.general, station.folder()) / "datalog",
                                      station.recorder.events_folder(),
                                      station.path(files::event_counters),
                                      station.board_clock.sync().lock_state,
                                      station.acquisition.board_reply(),
                                      &station.error_report,
                                      {}};
}

std::optional<std::filesystem::path> drum_picture(const Station& station, int channel,
                                                  const std::string& date) {
    // The current picture is of the day its state file names; every other
    // day has its archive.
    const display::DrumRecorder& drums = station.drums;
    std::ifstream in(drums.state_file(channel), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto state = display::parse_drum_state(text);
    const auto file = state && state->date == date ? drums.current_image(channel)
                                                   : drums.archive_image(channel, date);
    return display::find_any_case(file.parent_path(), file.filename().string());
}

datalog::ReviewContext review_context(Station& station) {
    return datalog::ReviewContext{
        station.settings,
        station.io.clock,
        station.io.dialogs,
        station.io.pump,
        station.error_report,
        station.folder(),
        [&station] { return extraction_context(station); },
        [&station](int channel, const std::string& date) {
            return drum_picture(station, channel, date);
        }};
}

int run_extract_command(Station& station, const CommandLine& options, std::ostream& out,
                        std::ostream& err) {
    station.error_report.set_pause_enabled(false);
    station.error_report.set_echo(
        [&err](const std::string& line) { err << "terrawave: error: " << line << '\n'; });
    const auto startup = run_startup(station, {.settings_only = true});
    if (!startup.ok) {
        err << "terrawave: " << startup.error << '\n';
        return 1;
    }
    // Day tracks copied from another station come without its events
    // folder: it is made here as start-up makes it.
    const auto events = station.recorder.events_folder();
    std::error_code ec;
    if (!std::filesystem::is_directory(events, ec)) {
        std::filesystem::create_directories(events, ec);
        if (!std::filesystem::is_directory(events)) {
            err << "terrawave: cannot create the events folder " << events.string() << ": "
                << (ec ? ec.message() : std::string("not a folder")) << '\n';
            return 1;
        }
        err << "terrawave: made the events folder " << events.string() << '\n';
    }
    const std::string& start = *options.extract;
    std::vector<int> channels = options.channels;
    if (channels.empty()) {
        const int mask = station.settings.general.extract_channel_mask;
        for (int k = 1; k <= 4; ++k)
            if (mask & (1 << (k - 1))) channels.push_back(k);
    }
    if (channels.empty()) {
        const auto datalog = config::review_folder_path(station.settings.general, station.folder()) / "datalog";
        const std::string day = datalog::day_name_of(start);
        std::error_code ignored;
        for (int k = 1; k <= 4; ++k) {
            if (std::filesystem::exists(
                    datalog / datalog::track_file_name(day, datalog::TrackFile::track, k), ignored))
                channels.push_back(k);
        }
        if (channels.empty()) {
            err << "terrawave: no day track of " << start.substr(0, 10) << " in " << datalog.string()
                << '\n';
            return 1;
        }
    }

    int status = 0;
    for (const int k : channels) {
        datalog::ExtractionContext context = extraction_context(station);
        bool shown = false;
        context.progress = [&](std::uint64_t done, std::uint64_t total) {
            if (done == total && !shown) return;  // a short cut needs no progress
            shown = true;
            err << "\rterrawave: channel " << k << ": " << done * 100 / total << " %"
                << (done == total ? "\n" : "") << std::flush;
        };
        const auto result = datalog::extract_channel(context, k, start, options.minutes);
        for (const auto& notice : result.notices) err << "terrawave: " << notice << '\n';
        if (result.written) {
            out << result.file.string() << '\n';
        } else {
            err << "terrawave: channel " << k << ": " << one_line(result.refusal) << '\n';
            status = 1;
        }
    }
    out.flush();
    return status;
}

}  // namespace tw::app
