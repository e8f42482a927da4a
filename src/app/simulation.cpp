#include "app/simulation.h"

#include "acquisition/board_link.h"
#include "app/station.h"
#include "config/settings_file.h"
#include "config/tables.h"

#include <fstream>
#include <sstream>

namespace tw::app {

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
    return plan;
}

}  // namespace tw::app
