#pragma once
// The acquisition run: what START and STOP do, and the loop in between.
//
// START makes the pre-start checks, prepares the board (identification,
// clock trimming and serial number for the ORDA boards) and runs the first
// pass, which sends the start command. From then on the run is driven by
// events, never by polling: each time the port signals new bytes, passes run
// until fewer than 4 bytes wait, and the once-a-second housekeeping tick
// runs one pass more (the restart of a silent board, the reopening of a lost
// port). A pass does, in this order: mark the loop alive; re-initialise the
// board if a restart was requested; the datalog boundary check; input; and
// the dispatch of the packet. Bytes may be read in bursts; the order of work
// per packet stays the same.
//
// Nothing here runs re-entrantly: while a pass or a board exchange waits
// with the event pump running (error report, LX1500 start sequence), port
// notifications and ticks that arrive are left for later.

#include "acquisition/board_clock.h"
#include "acquisition/board_link.h"
#include "acquisition/packet_decoder.h"
#include "acquisition/sample_path.h"
#include "acquisition/text_board_input.h"
#include "config/settings.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/serial_port.h"
#include "supervision/error_report.h"
#include "supervision/event_list.h"
#include "supervision/panel_model.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tw::acquisition {

// Run flags shared with the housekeeping tick and the windows.
struct RunFlags {
    int acquisition_running = 0;  // 1 from START until STOP
    bool restart_request = false; // the next pass re-initialises the board
    int loop_alive = 0;           // set by every pass; the tick reads and clears it
    double idle_pass_count = 0;   // passes that found fewer than 4 bytes waiting
    int error_location = 0;       // the step in progress, for the error report
    // Monotonic time of the last sample packet of correct length, or of the
    // last (re)start of the board. The board is silent when no sample has
    // come for AcquisitionRun::silence_ms.
    std::int64_t last_sample_ms = 0;
};

enum class RunPhase {
    idle,       // no run; START is enabled
    preparing,  // START is preparing the board
    running,    // the loop runs on port events and ticks
};

enum class StartOutcome {
    running,          // the board was started; samples flow
    refused,          // a pre-start check refused (message shown)
    board_not_found,  // no ORDA board answered ("A/D card not found")
    stopped,          // STOP came while the board was being prepared
    already_running,  // START while a run is on: nothing done
};
std::string_view to_string(StartOutcome outcome);

// The divisor bytes of the start command and what goes with them.
struct RateCommand {
    std::string bytes;                 // one divisor byte per channel, 0 = off
    int fastest_channel = 0;           // 0-based; among equal rates the lowest
    std::array<double, 4> true_rate{}; // samples per second, 1/60 for "1SPM"
};
// Rates below 2 run the board at 2 samples per second (the sample path
// averages them down). Boards whose reply starts "ORDA V.1.6" or
// "ORDA V.1.8" divide 100, the others 200 (a rate of 200 is 100 on them).
RateCommand build_rate_command(const config::Settings& settings, std::string_view board_reply);

// One more on a counter caption such as `badrx` ("" and non-numbers count
// from 0).
void count_on_caption(std::string& caption);

struct RunContext {
    config::Settings& settings;
    platform::SerialPort& serial;
    const platform::Clock& clock;
    platform::Dialogs& dialogs;
    supervision::EventList& event_list;
    supervision::ErrorReport& error_report;
    supervision::PanelModel& panel;
    BoardLink& link;
    SamplePath& sample_path;
    BoardClock& board_clock;
    RunFlags& flags;
    // Relative folders of the settings lie inside it.
    std::filesystem::path station_folder;
};

// What the later parts of the program plug into the run. Each may be empty.
struct RunHooks {
    // First-pass block: per-channel working arrays, chart and drum state,
    // the trimming window's synchronisation labels.
    std::function<void()> reset_channels;
    // Every pass, before input: the datalog opens and closes segments.
    std::function<void()> track_boundary_check;
    // An EEPROM reply arrived while sampling (the trimming window).
    std::function<void(std::uint8_t value)> eeprom_reply;
    // STOP path, before its "STOP" line: events still recording are ended
    // (files closed with their counts, summaries logged).
    std::function<void()> end_events;
    // STOP path: tracks closed, drums saved, the spectrum window closed.
    std::function<void()> close_tracks;
    std::function<void()> save_drums;
    std::function<void()> run_stopped;
};

class AcquisitionRun {
public:
    // A board that has sent no sample for this long is silent.
    static constexpr std::int64_t silence_ms = 5000;
    // The main window's monitors are refreshed at most this often.
    static constexpr std::int64_t panel_refresh_ms = 100;
    // At most this many bytes are taken from the port at once.
    static constexpr std::size_t read_chunk_bytes = 4096;

    // Step codes handed to the error report.
    enum Step : int {
        step_start = 300,
        step_checks = 301,
        step_prepare = 302,
        step_open_port = 304,
        step_first_pass = 307,
        step_pass = 310,
        step_dispatch = 312,
        step_stop_path = 330,
        step_reopen = 334,
    };

    explicit AcquisitionRun(RunContext context);
    AcquisitionRun(const AcquisitionRun&) = delete;
    AcquisitionRun& operator=(const AcquisitionRun&) = delete;

    RunHooks hooks;

    // The events folder present (created on request); the file extensions
    // are checked before, by the event logic. False when START must not go on.
    bool prestart_checks();
    // Prepares the board and runs the first pass. Returns when the board is
    // sampling (or could not be started); the run then goes on by itself.
    StartOutcome start();
    // The STOP button: the board is stopped at once; the STOP path runs now,
    // or when the pass or the preparation in progress has finished.
    void stop();

    // The port has new bytes.
    void on_data_ready();
    // The port failed under the run (adapter unplugged).
    void on_port_failure(const std::string& message);
    // The housekeeping tick: asks for a restart when the board is silent,
    // reopens a lost port, and runs a pass.
    void tick();

    RunPhase phase() const { return phase_; }
    bool board_silent() const;
    bool port_lost() const { return port_lost_; }

    // Board state of the run.
    const std::string& board_reply() const { return board_reply_; }
    const std::string& firmware_version() const { return firmware_version_; }
    const std::string& rate_command() const { return rate_.bytes; }
    int fastest_channel() const { return rate_.fastest_channel; }
    const std::array<double, 4>& true_rate() const { return rate_.true_rate; }

private:
    StartOutcome prepare_orda();
    void prepare_text_board(config::BoardFamily family);
    void restore_trimming(const std::string& board_trimming);
    void service();
    void begin_pass();
    bool input_pass();
    bool orda_input();
    bool text_input();
    bool text_line_waiting() const;
    void dispatch(const Packet& packet);
    void first_pass_block();
    // A channel set to 200 on a board that runs at most 100 is set to 100.
    void limit_rates_to_board();
    void stop_path();
    void restore_buttons();
    void try_reopen();
    void refresh_panel(bool force);
    void report(int error_number, const std::string& detail);

    RunContext context_;
    RunPhase phase_ = RunPhase::idle;
    config::BoardFamily family_ = config::orda10;
    bool eighteen_bit_ = false;
    std::string board_reply_;
    std::string firmware_version_;
    RateCommand rate_;
    PacketAssembler assembler_;
    TextBoardInput text_input_{config::infiltec};
    bool in_service_ = false;
    bool discard_chunk_ = false;  // the bytes read are older than a restart or STOP
    bool port_lost_ = false;
    bool panel_dirty_ = false;
    std::int64_t last_panel_refresh_ms_ = 0;
    std::int64_t now_ms_ = 0;  // monotonic time of the bytes being dispatched
};

}  // namespace tw::acquisition
