#include "app/station.h"

#include "config/settings_file.h"

namespace tw::app {

Station::Station(std::filesystem::path folder, Services services)
    : io(services),
      event_list(folder / files::event_list, services.clock),
      error_report(services.clock, services.pump),
      board_link(acquisition::BoardLinkContext{services.serial, services.clock, services.pump,
                                               services.dialogs, event_list, error_report,
                                               run_flags.error_location}),
      board_clock(acquisition::BoardClockContext{
          settings, services.clock, event_list, panel, sample_path,
          [this](std::string_view bytes) { return board_link.send_command(bytes); },
          folder / files::time_log, selected_channel, &pc_clock}),
      acquisition(acquisition::RunContext{settings, services.serial, services.clock,
                                          services.dialogs, event_list, error_report, panel,
                                          board_link, sample_path, board_clock, run_flags}),
      folder_(std::move(folder)) {
    // Until the signal path takes the samples, the numeric monitors show
    // each channel's decoded value.
    sample_path.set_sample_hook([this](const acquisition::SampleOutput& sample) {
        if (sample.full) panel.ch_val[static_cast<std::size_t>(sample.channel & 3)] =
            std::to_string(sample.sample_value);
    });
    board_clock.on_error = [this](int number, const std::string& detail) {
        error_report.report(number, run_flags.error_location, "START", detail);
    };
    io.serial.set_data_ready_handler([this] { acquisition.on_data_ready(); });
    io.serial.set_failure_handler(
        [this](const std::string& message) { acquisition.on_port_failure(message); });
}

bool Station::save_settings() {
    std::string error;
    if (config::save_settings(path(files::settings), settings, &error)) return true;
    io.dialogs.message_box("The settings were not saved: " + error, "Error.",
                           platform::DialogIcon::critical);
    return false;
}

}  // namespace tw::app
