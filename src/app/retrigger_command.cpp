#include "app/retrigger_command.h"

#include "app/station.h"
#include "config/settings_file.h"
#include "config/station_paths.h"
#include "datalog/retrigger.h"
#include "datalog/track_format.h"
#include "events/trigger_tuning.h"

#include <fstream>
#include <iterator>
#include <ostream>

namespace tw::app {

namespace {

bool read_settings(const std::filesystem::path& path, config::Settings& settings, std::ostream& err) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err << "terrawave: cannot read the settings file " << path.string() << '\n';
        return false;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const auto& problem : config::parse_settings(bytes, settings))
        err << "terrawave: " << path.filename().string() << " line " << problem.line_number << ": "
            << problem.reason << '\n';
    return true;
}

}  // namespace

int run_retrigger_command(const std::filesystem::path& station_folder, const CommandLine& options,
                          std::ostream& out, std::ostream& err) {
    // The tracks are the station's, where its own settings keep them.
    config::Settings station;
    const auto station_file = station_folder / files::settings;
    std::error_code ignored;
    if (std::filesystem::exists(station_file, ignored) && !read_settings(station_file, station, err)) return 1;
    config::Settings settings = station;
    if (!options.settings_file.empty()) {
        settings = config::Settings{};
        if (!read_settings(options.settings_file, settings, err)) return 1;
        // The tracks were written by the station's board.
        settings.general.ad_type = station.general.ad_type;
    } else if (!std::filesystem::exists(station_file, ignored)) {
        err << "terrawave: no settings file " << station_file.string() << " (give one with --settings)\n";
        return 1;
    }
    const auto datalog = config::review_folder_path(station.general, station_folder) / "datalog";
    const std::string& start = *options.retrigger;

    std::vector<int> channels = options.channels;
    if (channels.empty()) {
        const std::string day = datalog::day_name_of(start);
        std::vector<int> with_track;
        for (int k = 1; k <= 4; ++k) {
            if (!std::filesystem::exists(datalog / datalog::track_file_name(day, datalog::TrackFile::track, k), ignored))
                continue;
            with_track.push_back(k);
            if (settings.channel(k).record_enabled) channels.push_back(k);
        }
        if (channels.empty()) channels = with_track;
        if (channels.empty()) {
            err << "terrawave: no day track of " << start.substr(0, 10) << " in " << datalog.string() << '\n';
            return 1;
        }
    }

    // Trigger settings that cannot work are refused before anything runs.
    config::Settings replayed = settings;
    for (int k = 1; k <= 4; ++k)
        replayed.channel(k).record_enabled = std::find(channels.begin(), channels.end(), k) != channels.end();
    std::vector<std::string> problems;
    const events::TriggerTuning tuning = events::read_trigger_tuning(settings.extra, &problems);
    for (const std::string& p : events::check_trigger_tuning(tuning, replayed)) problems.push_back(p);
    if (!problems.empty()) {
        for (const std::string& p : problems) err << "terrawave: refused: " << p << '\n';
        return 1;
    }

    datalog::RetriggerRequest request;
    request.datalog_folder = datalog;
    request.start = start;
    request.minutes = options.minutes;
    request.channels = channels;
    const datalog::RetriggerResult result = datalog::retrigger(settings, request);
    for (const std::string& notice : result.notices) err << "terrawave: " << notice << '\n';
    if (!result.refusal.empty()) {
        err << "terrawave: " << result.refusal << '\n';
        return 1;
    }
    for (const auto& e : result.events) out << datalog::retrigger_event_line(e) << '\n';
    out << datalog::retrigger_summary(result) << '\n';
    out.flush();
    return 0;
}

}  // namespace tw::app
