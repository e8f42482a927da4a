#pragma once
// The once-a-second housekeeping of the main window (and of the headless
// runner): called by a 1000 ms timer, whether or not acquisition runs.
//
// Each tick does, in this order: the loop rate display; the event list size
// check; the bad-packet count reset; the clocks while idle; the STOP button
// (disabled while an event records); the silent board and lost port (the
// run's own pass); the watchdog gate, through which the heartbeat file, the
// parallel-port pulse and the service manager's watchdog are fed only while
// the acquisition loop is alive; the serial input and the open files while
// idle; the noisy line; the automatic START; the serial buffer load; the
// alarm sound; the hardware alarm bit; the event indicator; the free disk
// space in the title; one step of the datalog purge.
//
// The loop is alive when a pass of the run has run since the last tick: the
// port's notifications and the tick itself run passes, so a silent board is
// alive and a run held inside a pass (or an event loop that does not come
// back) is not. The tick never waits: the 0.1 s watchdog pulse ends on a
// timer.
//
// A step that fails is reported once ("Timer 1" and its step code) and the
// tick goes on with the next step; a device that is missing or refused
// (parallel port, speaker, sound) gets one line in the event list and is
// then left alone.

#include "datalog/track_purge.h"
#include "supervision/buffer_load.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace tw::app {

class Station;

// The main window title with its free-space part: the text from "FDS:" on
// becomes "FDS: <kilobytes> Kb", or "FDS: N.A." when the space is unknown.
// A title without "FDS:" stays as it is.
std::string title_with_free_space(const std::string& title,
                                  std::optional<std::uint64_t> kilobytes);

class Housekeeping {
public:
    // Step codes, the error location while each step runs.
    enum Step : int {
        step_loop_rate = 200,
        step_event_list = 201,
        step_bad_packets = 202,
        step_idle_clocks = 203,
        step_stop_button = 204,
        step_silent_board = 205,
        step_heartbeat = 206,
        step_watchdog_pulse = 207,
        step_idle_flush = 208,
        step_noisy_line = 209,
        step_auto_start = 210,
        step_buffer_load = 211,
        step_alarm_sound = 212,
        step_alarm_output = 213,
        step_event_indicator = 214,
        step_free_space = 215,
        step_purge = 220,
    };
    static constexpr std::string_view error_place = "Timer 1";
    static constexpr int pulse_ms = 100;
    // The speaker's timer divided by 762.
    static constexpr int alarm_tone_hz = 1566;
    static constexpr int event_list_check_ticks = 120;
    static constexpr int bad_packet_reset_ticks = 600;
    // The watchdog period the hardware setup allows.
    static constexpr int min_watchdog_period = 5;
    static constexpr int max_watchdog_period = 999;
    static constexpr std::string_view heartbeat_text = "warden\r\n";

    // The station is still being built: only its address is kept here.
    Housekeeping(Station& station, std::filesystem::path datalog_folder);
    ~Housekeeping();
    Housekeeping(const Housekeeping&) = delete;
    Housekeeping& operator=(const Housekeeping&) = delete;

    void tick();

    // The service manager: the station is ready (acquisition runs, or the
    // main window is up), or the program is ending.
    void notify_ready();
    void notify_stopping();

    // The user ticked or cleared "Charts off".
    void charts_chosen_by_user() { buffer_load_.user_chose_charts(); }

    // Free kilobytes of the station folder's file system at the last tick.
    std::optional<std::uint64_t> free_kilobytes() const { return free_kilobytes_; }
    int alarm_phase() const { return alarm_phase_; }

private:
    template <typename F>
    void run_step(Step step, F&& work);
    void step_failed(Step step, int error_number, const std::string& detail);
    void step_succeeded(Step step) { failing_steps_.erase(step); }
    // One line in the event list the first time `device` fails in a row.
    void device_failed(const std::string& device, const std::string& error);
    void device_worked(const std::string& device) { failing_devices_.erase(device); }

    void loop_rate_display();
    void event_list_check();
    void bad_packet_reset();
    void stop_button();
    void watchdog_gate();
    void write_heartbeat();
    void parallel_watchdog();
    void start_pulse(int lpt);
    void end_pulse();
    void idle_flush();
    void noisy_line();
    void auto_start();
    void buffer_load();
    void alarm_sound(bool alarm);
    void sound(bool on);
    void alarm_output(bool alarm);
    void event_indicator();
    void free_space();
    void purge();
    void send_status();
    std::string status_text() const;

    int lpt_port() const;
    std::optional<std::uint8_t> read_lpt(int lpt);
    bool write_lpt(int lpt, std::uint8_t value);

    Station& station_;
    bool in_tick_ = false;
    int event_list_ticks_ = 0;
    int bad_packet_ticks_ = 0;
    int watchdog_counter_ = 0;
    int alarm_phase_ = 0;
    bool speaker_on_ = false;
    bool alarm_bit_set_ = false;
    bool start_pending_ = false;
    int pulse_lpt_ = 0;  // port of the pulse in progress, 0 when none
    supervision::BufferLoad buffer_load_;
    datalog::TrackPurge purge_;
    std::optional<std::uint64_t> free_kilobytes_;
    std::set<int> failing_steps_;
    std::set<std::string> failing_devices_;
    std::string last_status_;
    // Tasks left with the scheduler hold this weakly: they do nothing once
    // the housekeeping is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The tick, as the timers call it.
void housekeeping_tick(Station& station);

}  // namespace tw::app
