#include "app/simulation.h"

#include "acquisition/board_link.h"
#include "app/station.h"
#include "config/settings_file.h"
#include "config/tables.h"

#include <fstream>
#include <sstream>

namespace tw::app {

namespace {

constexpr int sps_code_50 = 10;

bool is_text_board(int ad_type) { return ad_type == config::infiltec || ad_type == config::lx1500; }

}  // namespace

SimulationPlan plan_simulation(const std::filesystem::path& station_folder,
                               const std::string& family) {
    config::Settings settings;
    config::apply_new_file_values(settings, station_folder.string());
    std::ifstream in(station_folder / files::settings, std::ios::binary);
    if (in) {
        std::stringstream bytes;
        bytes << in.rdbuf();
        config::parse_settings(bytes.str(), settings);
    }
    const auto& general = settings.general;

    SimulationPlan plan;
    std::error_code ec;
    plan.new_station = !std::filesystem::exists(station_folder / files::settings, ec) && !ec;
    plan.family_named = !family.empty();
    if (const auto named = boardsim::family_from_string(family)) {
        plan.options.family = *named;
    } else {
        switch (general.ad_type) {
        case config::orda10: plan.options.family = boardsim::Family::orda10; break;
        case config::infiltec: plan.options.family = boardsim::Family::infiltec; break;
        case config::lx1500: plan.options.family = boardsim::Family::lx1500; break;
        default: plan.options.family = boardsim::Family::orda20; break;
        }
    }
    switch (plan.options.family) {
    case boardsim::Family::orda10: plan.ad_type = config::orda10; break;
    case boardsim::Family::orda20: plan.ad_type = config::orda20; break;
    case boardsim::Family::infiltec: plan.ad_type = config::infiltec; break;
    case boardsim::Family::lx1500: plan.ad_type = config::lx1500; break;
    }

    std::array<std::uint8_t, 4> bytes{};
    if (acquisition::parse_hex_bytes(general.clock_trim, &bytes)) plan.options.trim = bytes;
    if (acquisition::parse_hex_bytes(general.ad_serial, &bytes)) plan.options.serial = bytes;
    plan.options.quakes.push_back(boardsim::QuakeSpec{1, 0, simulated_quake_peak,
                                                      simulated_quake_duration_s,
                                                      simulated_quake_every_s});
    return plan;
}

config::Settings simulation_settings(const std::filesystem::path& station_folder, int ad_type) {
    config::Settings settings;
    config::apply_new_file_values(settings, station_folder.string());
    auto& general = settings.general;
    general.ad_type = ad_type;
    // The simulated board's clock is the PC's own: the PC clock is not set
    // from it.
    general.pc_rtc = 1;
    for (int n = 1; n <= 4; ++n) settings.channel(n).sps_code = sps_code_50;
    if (is_text_board(ad_type)) {
        // The text boards send one channel at a fixed rate (as HW Setup sets
        // them).
        settings.channel(1).sps_code = ad_type == config::infiltec ? 9 : sps_code_50;
        for (int n = 2; n <= 4; ++n) settings.channel(n).sps_code = 0;
    }
    auto& first = settings.channel(1);
    first.drum_enabled = 1;
    first.record_enabled = 1;
    // The new file's start amplitude (2000) and stop amplitude (1800), with
    // one minute before and after each event.
    first.start_params = "2000,2,1,1,30,3";
    first.stop_params = "1800,1";
    config::expand_start_params(first);
    config::expand_stop_params(first);
    for (auto& channel : settings.channels) config::recompute_event_lengths(channel);
    return settings;
}

bool write_simulation_settings(const std::filesystem::path& station_folder,
                               const SimulationPlan& plan) {
    if (!plan.new_station) return false;
    std::error_code ec;
    std::filesystem::create_directories(station_folder, ec);
    const auto path = station_folder / files::settings;
    // Never over a file that appeared meanwhile.
    if (ec || std::filesystem::exists(path, ec)) return false;
    std::string error;
    return config::save_settings(path, simulation_settings(station_folder, plan.ad_type), &error);
}

std::string simulation_settings_note(const config::Settings& settings) {
    std::string rates;
    for (int n = 1; n <= 4; ++n) {
        if (settings.channel(n).sps_code == 0) continue;
        if (!rates.empty()) rates += ", ";
        rates += "CH" + std::to_string(n) + " " +
                 std::to_string(static_cast<int>(config::sps_value(settings.channel(n).sps_code))) +
                 " sps";
    }
    return "New settings for the simulated board: " + rates +
           "; drum and events of CH1 (start at " +
           std::to_string(settings.channel(1).start_amplitude) +
           " counts). The simulated board sends a small quake on CH1 every " +
           std::to_string(simulated_quake_every_s / 60) + " minutes of its clock.";
}

}  // namespace tw::app
