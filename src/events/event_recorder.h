#pragma once
// Per-channel event detection and recording. Each channel is Idle or
// Recording. An idle channel starts an event when recording is enabled, the
// board's time base is ready, and either its amplitude or ratio criterion
// fires or a start was requested (manual record, or the extended trigger of
// another channel). A recording channel appends every sample to its event
// file and ends the event after a long enough coda, at the maximum length,
// or on a manual stop. At the end the file is closed and its sample count
// patched, the summary goes to the event list (and the printer and the
// message files when configured), and the housekeeping tick is told through
// the event flags.

#include "config/settings.h"
#include "display/conditioning.h"
#include "events/detector.h"
#include "events/event_file.h"
#include "events/event_flags.h"
#include "events/trigger_tuning.h"
#include "platform/printer.h"
#include "supervision/event_list.h"
#include "supervision/panel_model.h"

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tw::events {

// Error locations of the event steps.
namespace location {
inline constexpr int detector = 317;
inline constexpr int spectrum = 318;
inline constexpr int event_start = 319;
inline constexpr int event_file_open = 320;
inline constexpr int event_sample = 321;
inline constexpr int event_end = 322;
}  // namespace location

// Colours of the numeric monitor `ch_val` (RGB).
inline constexpr unsigned ch_val_recording_color = 0xFF0000;  // palette 12, light red
inline constexpr unsigned ch_val_idle_color = 0xC0C0C0;       // light grey

// Printer trouble, as the error report numbers it.
inline constexpr int printer_error_number = 482;

// Counts that end an event whatever the settings say.
inline constexpr double count_limit = 1000000;

// Values of `forced_trigger`.
inline constexpr int no_request = 0;
inline constexpr int start_request = 1;
inline constexpr int stop_request = 2;

struct ChannelEventState {
    DetectorState detector;
    double over_start_count = 0;  // consecutive samples above start_amplitude
    double under_stop_count = 0;  // consecutive coda samples of the event
    int forced_trigger = no_request;
    double event_samples = 0;      // lines in the event file, pre-event ones included
    std::string event_start_text;  // "YYYY/MM/DD HH:MM:SS"
    std::string event_file_name;
    // The event file and the format its header was written in.
    EventFile file;
    int file_format = 0;
    bool write_error_reported = false;

    // The band filter in front of the detector and its last output (the
    // detector input itself when the filter is off).
    BandFilter filter;
    double level_input = 0;
    // Consecutive samples the ratio (amplitude mode: the half-cycle
    // amplitude) stayed above its start level, and how many a trigger needs.
    double held_samples = 0;
    double duration_samples = 0;
    // Coincidence: the channel triggered on its own and waits for the
    // others; `triggered_at` is the board time (seconds) it last did.
    bool armed = false;
    double triggered_at = 0;
    std::string trigger_text;  // board time of the event's start, "YYYY/MM/DD HH:MM:SS.mmm"
};

// An event as it ended: what the summary line and the replay report.
struct RecordedEvent {
    int channel = 1;
    std::string start_text;    // the file's Start Time, pre-event section included
    std::string trigger_text;  // board time of the sample that started it
    double samples = 0;        // lines of the file
    double rate = 0;
    double max_ratio = 0;
    double max_amplitude = 0;
};

// What the recorder works with; everything here outlives it.
struct EventContext {
    config::Settings& settings;
    EventFlags& flags;
    supervision::PanelModel& panel;
    supervision::EventList& event_list;
    const display::SampleConditioner& conditioner;
    // The board clock's state, read at every sample.
    const std::string& board_date_time;  // "YYYY/MM/DD HH:MM:SS"
    const bool& time_base_ready;
    const std::string& lock_state;  // "NL" or "L"
    // The board's identification ("ORDA V.1.80"), written into PSN 2.0
    // headers; known once START has identified the board.
    const std::string& board_reply;
    // Holds "numevt.dat", "sendsms.txt" and "sendmail.txt"; also the events
    // folder when events_folder is empty.
    std::filesystem::path station_folder;
    platform::Printer* printer = nullptr;  // none: nothing is printed
    // A dry run decides events exactly as the live run does but writes
    // nothing: no event file, counter, list line, printer or message file
    // (the replay of the day tracks).
    bool dry_run = false;
};

class EventRecorder {
public:
    explicit EventRecorder(EventContext context);
    EventRecorder(const EventRecorder&) = delete;
    EventRecorder& operator=(const EventRecorder&) = delete;

    // START: every channel idle (an event still open is ended first), no
    // pending request, the detector windows from the channels' rates. The
    // detector state itself carries over.
    void start_run();
    // The detector windows (short and long term, in samples) from the
    // channels' rates; the first pass of every board (re)start.
    void reset_windows();
    // STOP: every open event is ended through end_event (file closed, count
    // patched, summary logged), so that no file keeps its placeholder.
    void stop_run();
    // The [TRIGGER] settings from settings.extra: band filters, durations
    // and coincidence, checked against the channels' rates; a refused
    // setting keeps its default and its message goes to on_tuning_problem
    // (else the event list). Part of start_run; the trigger panel's Apply
    // calls it during a run.
    void apply_tuning();
    const TriggerTuning& tuning() const { return tuning_; }

    // Per sample, in this order (the conditioner's detector and events hooks).
    // Detector update, then the trigger panel's live values.
    void update_detector(const display::ConditionedSample& sample);
    // Idle: start decision and start_event; recording: record_event_sample.
    void process_sample(const display::ConditionedSample& sample);

    // man_record(k-1) clicked: "REC" asks an enabled idle channel to start,
    // any other caption asks an enabled recording channel to stop. Only
    // while acquisition runs.
    void manual_record(int channel, bool acquisition_running);
    // max_noise clicked: the channel's recorded maximum amplitude restarts.
    void reset_max_amplitude(int channel);
    // The channel the open trigger panel shows; 0 while it is closed.
    void set_live_values_channel(int channel) { live_values_channel_ = channel; }

    // Writes the buffered lines of every open event file.
    void flush_open_files();

    // The steps, public for the station's tests.
    bool evaluate_trigger(int channel, std::int32_t conditioned_sample);
    void start_event(int channel, std::string_view millis_text);
    void record_event_sample(int channel, std::int32_t conditioned_sample);
    void end_event(int channel);

    const ChannelEventState& channel(int k) const { return channels_.at(k - 1); }
    ChannelEventState& channel(int k) { return channels_.at(k - 1); }
    bool event_active(int k) const { return context_.flags.event_active.at(k - 1); }
    // Events started since the program started, all channels.
    std::uint64_t events_started() const { return events_started_; }
    // The folder event files go to.
    std::filesystem::path events_folder() const;

    void set_error_location(int* target) { error_location_ = target; }

    // A run-time error of an event step: error number, location, what failed.
    // Acquisition and the other channels go on.
    std::function<void(int error_number, int location, const std::string& detail)> on_error;
    // Service-mode trace lines (the trimming window's list).
    std::function<void(const std::string& line)> on_trace;
    // Live values of the channel the trigger panel shows.
    std::function<void(int channel, const LiveValues& values)> on_live_values;
    // A manual stop switched recording of the channel off (the main window
    // clears ch_enabled when it shows that channel).
    std::function<void(int channel)> on_record_disabled;
    // Every event as it ends (live and dry runs alike).
    std::function<void(const RecordedEvent& event)> on_event_recorded;
    std::function<void(const std::string& message)> on_tuning_problem;

private:
    void set_location(int code) {
        if (error_location_) *error_location_ = code;
    }
    void report(int error_number, int code, const std::string& detail);
    void trace(const std::string& line);
    void open_event_file(int channel, std::string_view millis_text);
    void print_summary(const std::string& summary);
    void note_write_failure(int channel, int code);
    // Coincidence: arms the channel that triggered at `now` and tells
    // whether the armed and recording channels now weigh enough; when they
    // do, the other armed channels are asked to start.
    bool coincidence_reached(int channel, double now);

    EventContext context_;
    std::array<ChannelEventState, 4> channels_;
    int live_values_channel_ = 0;
    std::uint64_t events_started_ = 0;
    TriggerTuning tuning_;
    int* error_location_ = nullptr;
};

}  // namespace tw::events
