#include "app/station.h"

#include "app/panel_actions.h"
#include "config/settings_file.h"
#include "config/tables.h"

namespace tw::app {

namespace {

bool is_orda_board(int ad_type) { return ad_type == config::orda10 || ad_type == config::orda20; }

}  // namespace

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
                                          board_link, sample_path, board_clock, run_flags,
                                          folder}),
      conditioner(settings, panel),
      recorder(events::EventContext{settings, event_flags, panel, event_list, conditioner,
                                    board_clock.time().board_date_time,
                                    board_clock.time().time_base_ready,
                                    board_clock.sync().lock_state, acquisition.board_reply(),
                                    folder, services.printer}),
      tracks(datalog::TracksContext{settings, folder / "datalog", folder, event_list,
                                    error_report, services.disk, services.clock}),
      spectrum(display::SpectrumContext{settings, board_clock.time().time_base_ready,
                                        board_clock.time().seconds_of_day,
                                        board_clock.time().board_date, event_list,
                                        services.dialogs, services.images, folder / "drums"}),
      charts(settings),
      drums(display::DrumContext{settings, services.images, services.dialogs, event_list,
                                 board_clock.time().board_date, board_clock.time().seconds_of_day,
                                 board_clock.time().time_base_ready, event_flags.event_active,
                                 folder / "drums"}),
      stream(stream::StreamContext{settings, board_clock.time(), sample_path, event_list,
                                   services.clock, nullptr, &board_clock.sync()}),
      trimming(acquisition::ClockTrimmingContext{
          settings, sample_path, services.dialogs, trim_window_open,
          [this] { return acquisition.firmware_version(); },
          [this] { return run_flags.acquisition_running == 1; },
          [this](std::string_view bytes) { return board_link.send_command(bytes); }}),
      time_setting(acquisition::TimeSettingContext{
          settings, services.clock, services.dialogs, event_list, board_clock, pc_clock,
          settime_open, pc_formats.system_date_format, pc_formats.start_date_text,
          pc_formats.start_time_text, [this] { return board_port_usable(); },
          [this](std::string_view bytes) { return board_link.send_command(bytes); },
          [this] { apply_settings_lock(); }}),
      trigger_panel(events::TriggerPanelContext{settings, services.dialogs, recorder,
                                                selected_channel, trigger_panel_open,
                                                [this] { apply_settings_lock(); }}),
      hardware_setup(acquisition::HardwareSetupContext{
          settings, services.dialogs, io.io_ports, board_link, services.serial,
          folder.string(), actions_open,
          [this] {
              return !board_link.busy() && acquisition.phase() == acquisition::RunPhase::idle;
          },
          [this] { apply_settings_lock(); },
          // The selector goes to channel 2 and back, as if the user had
          // stepped it: channel 1 is shown again.
          [this] {
              select_channel(*this, 2);
              select_channel(*this, 1);
          }}),
      housekeeping(*this, folder / "datalog"),
      folder_(std::move(folder)) {
    connect_signal_path();
    connect_run();
    acquisition::connect_clock_windows(board_clock, trimming, time_setting);
    io.serial.set_data_ready_handler([this] { acquisition.on_data_ready(); });
    io.serial.set_failure_handler(
        [this](const std::string& message) { acquisition.on_port_failure(message); });
}

void Station::connect_signal_path() {
    // Every decoded sample takes the whole signal path (signal_path.cpp).
    sample_path.set_sample_hook(
        [this](const acquisition::SampleOutput& sample) { take_sample(sample); });
    recorder.set_error_location(&run_flags.error_location);
    charts.set_error_location(&run_flags.error_location);
    board_clock.on_minute_mark = [this] { charts.draw_minute_marks(); };
    recorder.on_error = [this](int number, int location, const std::string& detail) {
        error_report.report(number, location, "START", detail);
    };
    recorder.on_trace = [this](const std::string& line) { trimming.add_trace_line(line); };
    recorder.on_live_values = [this](int channel, const events::LiveValues& values) {
        trigger_panel.show_live_values(channel, values);
    };
    board_clock.on_error = [this](int number, const std::string& detail) {
        error_report.report(number, run_flags.error_location, "START", detail);
    };
}

void Station::connect_run() {
    auto& hooks = acquisition.hooks;
    // The first pass of every (re)start of the board.
    hooks.reset_channels = [this] {
        conditioner.start_run();
        charts.start_run(conditioner.clip());
        drums.start_run();
        recorder.reset_windows();
        tracks.track_restart(board_clock.time());
        spectrum.start_run();
        stream.start_run();
        if (trimming.is_open()) trimming.restart_measurement();
    };
    hooks.track_boundary_check = [this] { tracks.track_boundary_check(board_clock.time()); };
    hooks.eeprom_reply = [this](std::uint8_t value) { trimming.eeprom_reply(value); };
    // STOP: open events end before the "STOP" line (their files get their
    // counts and their summaries come first), then the last segments go into
    // the day tracks.
    hooks.end_events = [this] { recorder.stop_run(); };
    hooks.close_tracks = [this] {
        tracks.track_close_all(board_clock.time());
        stream.stop_run();
    };
    // STOP: the day's spectrograms saved, the spectrum window closed.
    hooks.run_stopped = [this] { spectrum.stop_run(); };
    hooks.save_drums = [this] { drums.stop_run(); };
}

bool Station::board_port_usable() {
    if (io.serial.is_open()) return true;
    // Only an idle ORDA board can be looked for: during a run the port
    // belongs to the run, and the text boards take no clock command.
    if (board_link.busy() || acquisition.phase() != acquisition::RunPhase::idle ||
        !is_orda_board(settings.general.ad_type))
        return false;
    return !board_link.open_board_port().empty();
}

void Station::apply_settings_lock() {
    const bool locked = settings.general.settings_locked == 1;
    if (trigger_panel_open) trigger_panel.apply_settings_lock(locked);
    if (actions_open) hardware_setup.apply_settings_lock(locked);
    if (settime_open) time_setting.apply_settings_lock(locked);
    if (lock_main_window) lock_main_window();
}

bool Station::save_settings() {
    std::string error;
    if (config::save_settings(path(files::settings), settings, &error)) return true;
    io.dialogs.message_box("The settings were not saved: " + error, "Error.",
                           platform::DialogIcon::critical);
    return false;
}

}  // namespace tw::app
