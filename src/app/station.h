#pragma once
// The station: one object that owns the settings, the run state and the
// subsystems that work on them. Everything receives what it needs from here
// by reference; several stations can live in one process (tests do that).

#include "acquisition/acquisition_run.h"
#include "acquisition/board_clock.h"
#include "acquisition/board_link.h"
#include "acquisition/clock_trimming.h"
#include "acquisition/hardware_setup.h"
#include "acquisition/sample_path.h"
#include "acquisition/time_setting.h"
#include "app/housekeeping.h"
#include "config/settings.h"
#include "datalog/tracks.h"
#include "display/conditioning.h"
#include "display/spectrum.h"
#include "display/drum_recorder.h"
#include "display/live_charts.h"
#include "events/event_flags.h"
#include "events/event_recorder.h"
#include "events/trigger_panel.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/disk.h"
#include "platform/event_pump.h"
#include "platform/image_files.h"
#include "platform/io_ports.h"
#include "platform/launcher.h"
#include "platform/printer.h"
#include "platform/scheduler.h"
#include "platform/serial_port.h"
#include "platform/service_manager.h"
#include "platform/sound.h"
#include "stream/stream.h"
#include "supervision/error_report.h"
#include "supervision/event_list.h"
#include "supervision/panel_model.h"
#include "supervision/pc_clock_texts.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tw::app {

// The outside world, as the station sees it.
struct Services {
    platform::SerialPort& serial;
    platform::Clock& clock;
    platform::Dialogs& dialogs;
    platform::Disk& disk;
    platform::Launcher& launcher;
    platform::EventPump& pump;
    // The printer of the event summaries; none: nothing is printed (the
    // headless program has none, a printer needs the window system).
    platform::Printer* printer = nullptr;
    // The parallel ports and the PC speaker; none: no port output at all.
    platform::IoPorts* io_ports = nullptr;
    // The alarm sound; none: no sound is played.
    platform::Sound* sound = nullptr;
    // Pictures for the drums and the spectrogram, in a window or headless.
    platform::ImageFiles* images = nullptr;
    // Timers for short waits that must not block (the watchdog pulse);
    // none: such a wait ends at the next housekeeping tick.
    platform::Scheduler* scheduler = nullptr;
    // The service manager running the program; none: nobody is told.
    platform::ServiceManager* service_manager = nullptr;
};

// File names inside the station folder.
namespace files {
inline constexpr std::string_view settings = "terrawv.ini";
inline constexpr std::string_view event_list = "evtfile.dat";
inline constexpr std::string_view event_counters = "numevt.dat";
inline constexpr std::string_view time_log = "timefile.txt";
inline constexpr std::string_view sms = "sendsms.txt";
inline constexpr std::string_view mail = "sendmail.txt";
inline constexpr std::string_view alarm_sound = "alarm.wav";
inline constexpr std::string_view heartbeat = "terrawv.wdn";
// The DataLink feed's last acknowledged record per stream.
inline constexpr std::string_view datalink_positions = "datalink.pos";
}  // namespace files

// What start-up found out about the PC's date and time texts.
struct PcFormats {
    std::string system_date_format;  // "YYYY/MM/DD", "YYYY/DD/MM", "DD/MM/YYYY", "MM/DD/YYYY"
    std::string system_time_format;  // "HH:MM:SS", "HH.MM.SS", "HH?MM?SS", "H:MM:SS", ...
    std::string start_date_text;
    std::string start_time_text;
};

class Station {
public:
    Station(std::filesystem::path folder, Services services);
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // The station folder (program_folder) and paths inside it.
    const std::filesystem::path& folder() const { return folder_; }
    std::string program_folder() const { return folder_.string(); }
    std::filesystem::path path(std::string_view name) const { return folder_ / name; }

    Services io;

    config::Settings settings;
    supervision::EventList event_list;
    supervision::ErrorReport error_report;
    supervision::PanelModel panel;
    supervision::PcClockTexts pc_clock;
    PcFormats pc_formats;
    events::EventFlags event_flags;

    // The channel whose settings the main window shows (ch_selected), 1..4.
    int selected_channel = 1;
    // Secondary windows that are open; the logic updates a window only then.
    bool trigger_panel_open = false;
    bool settime_open = false;
    bool actions_open = false;
    bool trim_window_open = false;
    bool event_list_open = false;
    // The serial device named with --port, empty when ports map to /dev/ttyS*.
    std::string port_override;

    // The acquisition engine: run flags, the link to the board, the sample
    // path, the board clock and the run that drives them. The station hands
    // the port's notifications to the run.
    acquisition::RunFlags run_flags;
    acquisition::BoardLink board_link;
    acquisition::SamplePath sample_path;
    acquisition::BoardClock board_clock;
    acquisition::AcquisitionRun acquisition;

    // The signal path of every sample (take_sample): conditioning, then the
    // day tracks, the trigger detector and the event files, the live charts
    // and the drums.
    display::SampleConditioner conditioner;
    events::EventRecorder recorder;
    datalog::Tracks tracks;
    // The real-time spectrum and the day's spectrograms of the channels
    // with `fft_enabled`; the windowed program shows its window.
    display::Spectrum spectrum;
    display::LiveCharts charts;
    display::DrumRecorder drums;

    // miniSEED records of the same samples: day archive and data server,
    // when the command line asks for them.
    stream::Stream stream;

    // Everything done with one decoded sample, in the program's order.
    void take_sample(const acquisition::SampleOutput& decoded);
    // Full samples taken per channel since the program started.
    std::array<std::uint64_t, 4> samples_taken{};

    // The models of the clock trimming, time setting, trigger panel and
    // hardware setup windows.
    acquisition::ClockTrimming trimming;
    acquisition::TimeSetting time_setting;
    events::TriggerPanel trigger_panel;
    acquisition::HardwareSetup hardware_setup;

    // The once-a-second housekeeping: watchdogs, alarms, buffer load, free
    // space, datalog purge.
    Housekeeping housekeeping;

    // The settings lock (settings_locked) on the open setup windows and the
    // main window; every setup window calls it when it becomes active, and
    // the lock check box when it changes.
    void apply_settings_lock();
    // The main window's part of it; the windowed program sets it.
    std::function<void()> lock_main_window;

    // save_settings on the station's file; on failure the reason is shown in
    // a message box and false is returned.
    bool save_settings();

private:
    void connect_signal_path();
    void connect_run();
    // The time setting window's SET TIME: the port is open, or an idle ORDA
    // board answered on it now.
    bool board_port_usable();

    std::filesystem::path folder_;
};

}  // namespace tw::app
