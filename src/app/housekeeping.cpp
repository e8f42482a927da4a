#include "app/housekeeping.h"

#include "acquisition/board_clock.h"
#include "app/acquisition_control.h"
#include "app/station.h"
#include "config/number_text.h"
#include "config/tables.h"
#include "events/event_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <system_error>

namespace tw::app {

namespace {

// The value a counter caption such as `badrx` shows.
double caption_value(const std::string& caption) { return config::number_scan(caption); }

bool is_orda(int ad_type) { return ad_type == config::orda10 || ad_type == config::orda20; }

// Writes `text` as the whole of `file`: under a temporary name first, so a
// reader never finds it empty or half written. Returns the errno value of a
// failure, 0 on success.
int replace_file(const std::filesystem::path& file, std::string_view text) {
    std::filesystem::path temporary = file;
    temporary += ".new";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) return errno;
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    int error = written ? 0 : errno;
    if (std::fclose(out) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(temporary.c_str(), file.c_str()) != 0) error = errno;
    if (error != 0) std::remove(temporary.c_str());
    return error;
}

}  // namespace

std::string title_with_free_space(const std::string& title,
                                  std::optional<std::uint64_t> kilobytes) {
    const auto at = title.find("FDS:");
    if (at == std::string::npos) return title;
    return title.substr(0, at) +
           (kilobytes ? "FDS: " + std::to_string(*kilobytes) + " Kb" : std::string("FDS: N.A."));
}

Housekeeping::Housekeeping(Station& station, std::filesystem::path datalog_folder)
    : station_(station), purge_(std::move(datalog_folder)) {}

Housekeeping::~Housekeeping() {
    if (pulse_lpt_ != 0) end_pulse();
    if (speaker_on_) sound(false);
}

template <typename F>
void Housekeeping::run_step(Step step, F&& work) {
    station_.run_flags.error_location = step;
    try {
        work();
    } catch (const std::filesystem::filesystem_error& e) {
        step_failed(step, events::error_number_of_errno(e.code().value()), e.what());
    } catch (const std::exception& e) {
        step_failed(step, 5, e.what());
    }
}

void Housekeeping::step_failed(Step step, int error_number, const std::string& detail) {
    // Once per episode: a step that fails every second would otherwise hold
    // the program in the error report for good.
    if (!failing_steps_.insert(step).second) return;
    station_.error_report.report(error_number, step, std::string(error_place), detail);
}

void Housekeeping::device_failed(const std::string& device, const std::string& error) {
    if (failing_devices_.insert(device).second) station_.event_list.append(error);
}

void housekeeping_tick(Station& station) { station.housekeeping.tick(); }

void Housekeeping::tick() {
    // An error report inside the tick lets the window system run, and with
    // it this timer: that tick is left out.
    if (in_tick_) return;
    in_tick_ = true;
    auto& flags = station_.run_flags;
    const int saved_location = flags.error_location;
    // Without a scheduler the pulse of the last tick ends now.
    if (pulse_lpt_ != 0 && !station_.io.scheduler) end_pulse();

    run_step(step_loop_rate, [&] { loop_rate_display(); });
    run_step(step_event_list, [&] { event_list_check(); });
    run_step(step_bad_packets, [&] { bad_packet_reset(); });
    run_step(step_idle_clocks, [&] {
        // While the board runs its time packets refresh them.
        if (flags.acquisition_running != 1) {
            station_.board_clock.refresh_clock_displays();
            station_.time_setting.refresh_idle();
        }
    });
    run_step(step_stop_button, [&] { stop_button(); });
    // The silent board asks for a restart, a lost port is tried again, and
    // a pass runs even when the board sends nothing.
    run_step(step_silent_board, [&] { station_.acquisition.tick(); });
    watchdog_gate();
    run_step(step_idle_flush, [&] { idle_flush(); });
    run_step(step_noisy_line, [&] { noisy_line(); });
    run_step(step_auto_start, [&] { auto_start(); });
    run_step(step_buffer_load, [&] { buffer_load(); });
    const bool alarm = station_.event_flags.threshold_alarm_flag;
    run_step(step_alarm_sound, [&] { alarm_sound(alarm); });
    run_step(step_alarm_output, [&] {
        alarm_output(alarm);
        // The watchdog and alarm bits in the open hardware setup window.
        if (station_.actions_open) station_.hardware_setup.refresh_port_bits();
    });
    run_step(step_event_indicator, [&] { event_indicator(); });
    run_step(step_free_space, [&] { free_space(); });
    run_step(step_purge, [&] { purge(); });
    send_status();

    flags.error_location = saved_location;
    station_.panel.notify();
    in_tick_ = false;
}

void Housekeeping::loop_rate_display() {
    auto& flags = station_.run_flags;
    if (station_.settings.general.service_mode == 1)
        station_.panel.donothing = config::plain_number(flags.idle_pass_count);
    flags.idle_pass_count = 0;
}

void Housekeeping::event_list_check() {
    if (++event_list_ticks_ <= event_list_check_ticks) return;
    event_list_ticks_ = 0;
    // A list cleared by hand (or by an outside tool) ends the blinking.
    std::error_code ec;
    const auto size = std::filesystem::file_size(station_.event_list.file(), ec);
    if (!ec && size < 20) station_.event_flags.event_ended_flag = false;
}

void Housekeeping::bad_packet_reset() {
    if (++bad_packet_ticks_ <= bad_packet_reset_ticks) return;
    if (caption_value(station_.panel.badrx) >= 5) return;
    bad_packet_ticks_ = 0;
    station_.panel.badrx = "0";
}

void Housekeeping::stop_button() {
    const auto& active = station_.event_flags.event_active;
    if (std::any_of(active.begin(), active.end(), [](bool a) { return a; })) {
        station_.panel.stop_enabled = false;
    } else if (station_.run_flags.acquisition_running == 1) {
        station_.panel.stop_enabled = true;
    }
}

// --- Watchdogs ----------------------------------------------------------------

void Housekeeping::watchdog_gate() {
    auto& flags = station_.run_flags;
    const bool alive = flags.loop_alive == 1 || flags.acquisition_running != 1;
    flags.loop_alive = 0;
    if (!alive) return;
    run_step(step_heartbeat, [&] { write_heartbeat(); });
    run_step(step_watchdog_pulse, [&] { parallel_watchdog(); });
    if (station_.io.service_manager) station_.io.service_manager->notify("WATCHDOG=1");
}

void Housekeeping::write_heartbeat() {
    if (station_.settings.general.use_twarden == 0) return;
    const auto file = station_.path(files::heartbeat);
    if (const int error = replace_file(file, heartbeat_text); error != 0) {
        step_failed(step_heartbeat, events::error_number_of_errno(error),
                    "cannot write " + file.string() + ": " + std::strerror(error));
        return;
    }
    step_succeeded(step_heartbeat);
}

void Housekeeping::parallel_watchdog() {
    const auto& general = station_.settings.general;
    if (general.watchdog_enabled == 0) return;
    const int period =
        std::clamp(general.watchdog_period, min_watchdog_period, max_watchdog_period);
    ++watchdog_counter_;
    if (watchdog_counter_ == period - 3) {
        if (const int lpt = lpt_port(); lpt != 0) start_pulse(lpt);
        ++watchdog_counter_;
    }
    if (watchdog_counter_ > period) watchdog_counter_ = 0;
}

void Housekeeping::start_pulse(int lpt) {
    if (pulse_lpt_ != 0) end_pulse();
    const auto value = read_lpt(lpt);
    if (!value || !write_lpt(lpt, static_cast<std::uint8_t>(*value | 0x01))) return;
    pulse_lpt_ = lpt;
    if (auto* scheduler = station_.io.scheduler) {
        scheduler->run_after(pulse_ms, [this, alive = std::weak_ptr<int>(alive_)] {
            if (alive.lock() && pulse_lpt_ != 0) end_pulse();
        });
    }
}

void Housekeeping::end_pulse() {
    const int lpt = pulse_lpt_;
    pulse_lpt_ = 0;
    // Read again: the alarm bit may have changed during the pulse.
    if (const auto value = read_lpt(lpt))
        write_lpt(lpt, static_cast<std::uint8_t>(*value & ~0x01));
}

int Housekeeping::lpt_port() const {
    const int lpt = station_.settings.general.lpt_port;
    return lpt >= 1 && lpt <= 3 ? lpt : 0;
}

std::optional<std::uint8_t> Housekeeping::read_lpt(int lpt) {
    auto* ports = station_.io.io_ports;
    if (!ports) return std::nullopt;
    std::string error;
    const auto value = ports->read_data(lpt, &error);
    const std::string device = "LPT" + std::to_string(lpt);
    if (!value) {
        device_failed(device, error);
        return std::nullopt;
    }
    device_worked(device);
    return value;
}

bool Housekeeping::write_lpt(int lpt, std::uint8_t value) {
    std::string error;
    if (!station_.io.io_ports->write_data(lpt, value, &error)) {
        device_failed("LPT" + std::to_string(lpt), error);
        return false;
    }
    return true;
}

// --- Serial line ----------------------------------------------------------------

void Housekeeping::idle_flush() {
    auto& serial = station_.io.serial;
    // What arrives while no run reads it is stale; a board exchange of the
    // time setting window (which waits with the window system running)
    // keeps its reply.
    if (station_.run_flags.acquisition_running == 0 && !station_.board_link.busy() &&
        serial.is_open())
        serial.flush_input();
    // What the event files and the day tracks hold waiting goes to disk, so
    // that a silent board or a crash loses at most the last seconds.
    station_.recorder.flush_open_files();
    station_.tracks.sync_if_due();
    station_.stream.tick();
    if (const auto* feed = station_.stream.datalink()) {
        const std::string status = stream::describe_feed(feed->status());
        if (status != station_.panel.feed_status) {
            station_.panel.feed_status = status;
            station_.panel.notify();
        }
    }
}

void Housekeeping::noisy_line() {
    auto& panel = station_.panel;
    auto& serial = station_.io.serial;
    if (caption_value(panel.badrx) > 5 && station_.run_flags.acquisition_running == 1 &&
        serial.is_open() && serial.bytes_waiting() < 20) {
        station_.event_list.append("Noisy serial communications.");
        panel.badrx = "0";
    }
}

void Housekeeping::auto_start() {
    if (station_.settings.general.auto_start != 2 || !station_.panel.start_enabled ||
        acquisition_active(station_) || start_pending_)
        return;
    // START as if pressed: after this tick, so that the tick never waits for
    // the board.
    auto press = [this] {
        start_pending_ = false;
        if (station_.settings.general.auto_start == 2 && station_.panel.start_enabled &&
            !acquisition_active(station_))
            start_acquisition(station_);
    };
    if (auto* scheduler = station_.io.scheduler) {
        start_pending_ = true;
        scheduler->run_after(0, [press, alive = std::weak_ptr<int>(alive_)] {
            if (alive.lock()) press();
        });
    } else {
        press();
    }
}

void Housekeeping::buffer_load() {
    auto& serial = station_.io.serial;
    const int waiting = serial.is_open() ? serial.bytes_waiting() : 0;
    const auto outcome = buffer_load_.update(waiting, serial.input_buffer_size(),
                                             station_.settings.general.no_charts, station_.panel);
    for (const auto message : outcome.messages) station_.event_list.append(message);
    if (outcome.discard) serial.flush_input();
    if (outcome.repaint) station_.panel.notify();
}

// --- Alarms -------------------------------------------------------------------

void Housekeeping::alarm_sound(bool alarm) {
    // One second on, one second off while alarms keep coming.
    if (alarm_phase_ == 1) sound(false);
    if (!alarm) return;
    if (alarm_phase_ == 0) {
        sound(true);
        alarm_phase_ = 1;
    } else {
        alarm_phase_ = 0;
    }
    station_.event_flags.threshold_alarm_flag = false;
}

void Housekeeping::sound(bool on) {
    const bool wav = station_.settings.general.alarm_wav != 0;
    std::string error;
    if (on && wav) {
        // No other sound stands in for a missing file.
        auto* player = station_.io.sound;
        if (!player) return;
        if (player->play_wav(station_.path(files::alarm_sound), &error)) {
            device_worked("sound");
        } else {
            device_failed("sound", error);
        }
        return;
    }
    // The speaker: switched off whenever it is on, also when the choice of
    // sound changed while it sounded.
    auto* ports = station_.io.io_ports;
    if (!ports || (!on && !speaker_on_)) return;
    if (ports->speaker_tone(on ? alarm_tone_hz : 0, &error)) {
        speaker_on_ = on;
        device_worked("speaker");
    } else {
        speaker_on_ = false;
        device_failed("speaker", error);
    }
}

void Housekeeping::alarm_output(bool alarm) {
    const auto& general = station_.settings.general;
    const auto& time = station_.board_clock.time();
    const bool hw = general.hw_alarm != 0;
    // Input line L2 is active low in the status byte of the ORDA boards'
    // time packets; the text boards have no such line, and before the first
    // time packet nothing is known about it.
    const bool l2_active = is_orda(general.ad_type) && time.time_base_ready &&
                           (time.board_status & acquisition::board_status_bit::input_line_2) == 0;
    const bool on = (hw && alarm) ||
                    (hw && general.alarm_on_l2 != 0 && l2_active &&
                     station_.run_flags.acquisition_running == 1) ||
                    (hw && general.alarm_on_events != 0 && station_.event_flags.event_ended_flag);
    const int lpt = lpt_port();
    // The port is left alone unless the alarm output is used (or its bit
    // must still be cleared).
    if (lpt == 0 || (!hw && !alarm_bit_set_)) return;
    const auto value = read_lpt(lpt);
    if (!value) return;
    const auto wanted = static_cast<std::uint8_t>(on ? *value | 0x02 : *value & ~0x02);
    if (wanted != *value && !write_lpt(lpt, wanted)) return;
    alarm_bit_set_ = on;
}

void Housekeeping::event_indicator() {
    auto& color = station_.panel.event_indicator_color;
    if (station_.event_flags.event_ended_flag) {
        color = color == 12 ? 8 : 12;
    } else {
        color = 8;
    }
}

// --- Disk -----------------------------------------------------------------------

void Housekeeping::free_space() {
    const auto bytes = station_.io.disk.free_bytes(station_.folder());
    free_kilobytes_ = bytes ? std::optional<std::uint64_t>(*bytes / 1000) : std::nullopt;
    station_.panel.title = title_with_free_space(station_.panel.title, free_kilobytes_);
}

void Housekeeping::purge() {
    const auto& general = station_.settings.general;
    if (general.never_purge != 0 || station_.run_flags.acquisition_running != 1) return;
    // Today is the board's date: the day tracks are named after it.
    const auto& time = station_.board_clock.time();
    if (!time.time_base_ready) return;
    const auto step = purge_.step(time.board_date, general.purge_days);
    if (!step.deleted_day.empty())
        station_.event_list.append("Datalog of day " + step.deleted_day + " purged.");
    if (!step.error.empty()) {
        step_failed(step_purge, supervision::error_number::permission_denied, step.error);
    } else {
        step_succeeded(step_purge);
    }
}

// --- Service manager ----------------------------------------------------------------

std::string Housekeeping::status_text() const {
    std::string text;
    switch (station_.acquisition.phase()) {
    case acquisition::RunPhase::idle: text = "Idle"; break;
    case acquisition::RunPhase::preparing: text = "Preparing the board"; break;
    case acquisition::RunPhase::running:
        text = "Acquiring";
        if (!station_.panel.true_sps.empty())
            text += ", " + station_.panel.true_sps + " samples per second";
        break;
    }
    // The latest event started, recording or ended.
    const events::ChannelEventState* last = nullptr;
    for (int k = 1; k <= 4; ++k) {
        const auto& ch = station_.recorder.channel(k);
        if (!ch.event_file_name.empty() &&
            (!last || ch.event_start_text > last->event_start_text))
            last = &ch;
    }
    if (last) text += "; last event " + last->event_file_name + " at " + last->event_start_text;
    return text;
}

void Housekeeping::send_status() {
    auto* manager = station_.io.service_manager;
    if (!manager) return;
    std::string status = status_text();
    if (status == last_status_) return;
    manager->notify("STATUS=" + status);
    last_status_ = std::move(status);
}

void Housekeeping::notify_ready() {
    auto* manager = station_.io.service_manager;
    if (!manager) return;
    last_status_ = status_text();
    manager->notify("READY=1\nSTATUS=" + last_status_);
}

void Housekeeping::notify_stopping() {
    auto* manager = station_.io.service_manager;
    if (!manager) return;
    manager->notify("STOPPING=1\nSTATUS=Stopping");
    last_status_ = "Stopping";
}

}  // namespace tw::app
