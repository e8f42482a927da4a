#pragma once
// The board clock: one time packet per board second gives the board date and
// time that stamps every sample, event file and track file. Impossible times
// are corrected from the PC, synchronisations of the board's time receiver
// are logged, and the PC and board clocks follow each other as configured.

#include "acquisition/sample_path.h"
#include "config/settings.h"
#include "config/time_stamp.h"
#include "platform/clock.h"
#include "supervision/event_list.h"
#include "supervision/panel_model.h"
#include "supervision/pc_clock_texts.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tw::acquisition {

// Time texts with fixed patterns, whatever the PC's locale.
using config::date_text;
using config::stamp_seconds;
using config::stamp_text;
using config::time_text;
using config::time_text_seconds;

// What the board clock needs from the station.
struct BoardClockContext {
    config::Settings& settings;
    platform::Clock& clock;
    supervision::EventList& event_list;
    supervision::PanelModel& panel;
    SamplePath& sample_path;
    // Writes a command to the board; false when the port refused it.
    std::function<bool(std::string_view bytes)> send_command;
    std::filesystem::path time_log;  // "timefile.txt" in the station folder
    const int& selected_channel;     // ch_selected, 1..4
    // The PC clock texts (pc_date_time_text, pc_millis_text) refreshed at
    // every time packet; none: only the panel's realtime is refreshed.
    supervision::PcClockTexts* pc_clock = nullptr;
};

// Board time state, read by the rest of the program.
struct BoardTime {
    std::string board_time;           // "HH:MM:SS", last valid board second
    std::string previous_board_time;  // board_time before the last packet
    std::string board_date;           // "YYYY/MM/DD"
    std::string board_date_time;      // board_date + " " + board_time
    double seconds_of_day = 0;
    int board_status = 0;             // status byte of the last packet
    bool time_base_ready = false;     // the first second boundary has been seen
};

// Time-receiver state: what the synchronisations told.
struct SyncState {
    // One flag per minute of the day (0..1439 used; 1443 kept so that the
    // chart can address minutes up to 1440): set when a synchronisation
    // arrived in that minute.
    static constexpr std::size_t minute_flags = 1443;
    std::array<std::uint8_t, minute_flags> sync_minutes{};
    std::string sync_time;          // "YYYY/MM/DD HH:MM:SS", last synchronisation - 1 s
    std::string last_sync_pc_time;  // PC "YYYY/MM/DD HH:MM:SS" when it was seen
    std::string lock_state = "NL";  // "L" locked, "NL" not locked
    bool synchronised_now = false;  // status bit 0x20 of the last packet
};

// Status bits of a time packet.
namespace board_status_bit {
inline constexpr int input_line_1 = 0x08;
inline constexpr int input_line_2 = 0x10;
inline constexpr int synchronised = 0x20;
inline constexpr int dcf_daylight_time = 0x40;
}  // namespace board_status_bit

// The time log: one line per synchronisation, restarted empty when it grows
// past this size.
inline constexpr std::uintmax_t time_log_max_bytes = 256000;

class BoardClock {
public:
    explicit BoardClock(BoardClockContext context);

    // board_date from the PC date (program start).
    void set_board_date_from_pc();
    // board_date set by hand ("YYYY/MM/DD"); false for any other text.
    bool set_board_date(std::string_view date);
    // START and every restart of the acquisition: the minute-mark and
    // midnight references are cleared (no minute seen yet), and the PC clock
    // may again report a refusal; then on_run_started.
    void start_run();
    // STOP: time_base_ready and the jump-check reference are cleared; then
    // on_run_stopped.
    void stop_run();

    // One complete time packet (any length: a wrong length counts one bad
    // packet on badrx and changes nothing else). Returns true when handled.
    bool handle_time_packet(std::span<const std::uint8_t> packet);

    // The set-clock command 0x83 with the seconds, minutes and hours of t
    // ("HH:MM:SS"), then 0x00, 0x00. False for a text not of that form or
    // when the port refused the write.
    bool send_set_clock(std::string_view time_text);

    // The main window's clocks: `utc_clock` the board date and time (left
    // alone from STOP, which empties it, to the next packet), `realtime` the PC date and time
    // with milliseconds. Done at every time packet; the housekeeping tick
    // calls it while no acquisition runs.
    void refresh_clock_displays();

    // Clears every minute flag (a click on the DCF chart).
    void clear_sync_minutes();

    const BoardTime& time() const { return time_; }
    const SyncState& sync() const { return sync_; }

    // Called at the first packet of a run and at every change of the minute
    // (the charts draw their minute marks while live charts are on).
    std::function<void()> on_minute_mark;
    // Called at each new synchronisation with sync_time (the trimming
    // window measures then).
    std::function<void(const std::string& sync_time)> on_sync;
    // Called at every handled packet with the palette colours of the two
    // input-line indicators of the hardware setup window (8 grey while the
    // line's status bit is set, 10 bright green while clear).
    std::function<void(int line1_colour, int line2_colour)> on_input_lines;
    // Called at the end of every handled packet (the time setting window
    // shows the lock state and marks synchronisations).
    std::function<void()> on_second;
    // Called by start_run (the trimming window starts a new measurement).
    std::function<void()> on_run_started;
    // Called by stop_run (the time setting window clears its DCF chart).
    std::function<void()> on_run_stopped;
    // A file of the board clock could not be written (the time log): the
    // error number of the run-time error and what failed. The loop goes on.
    std::function<void(int error_number, const std::string& detail)> on_error;

private:
    void check_range(int& hours, int& minutes, int& seconds);
    void advance_date_at_midnight();
    void show_measured_rate();
    void note_synchronisation(bool synchronised);
    void update_lock_state();
    void sync_board_from_pc();
    void sync_pc_from_board();
    void check_jump();
    void write_time_log_line();

    BoardClockContext context_;
    BoardTime time_;
    SyncState sync_;
    int last_minute_ = -1;             // minute of day of the last packet; -1: none this run
    std::string midnight_reference_;   // board_time of the previous packet
    std::string time_check_previous_;  // reference of the jump check
    bool sync_seen_ = false;           // status bit 0x20 seen and not yet cleared
    bool clock_refusal_reported_ = false;
    bool show_board_clock_ = false;    // a packet arrived since the last STOP
    std::int64_t last_pc_sync_second_ = -1;  // PC second of the last PC-to-board sync
};

}  // namespace tw::acquisition
