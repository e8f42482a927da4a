#include "app/startup.h"

#include "acquisition/time_setting.h"
#include "config/number_text.h"
#include "config/settings_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace tw::app {

namespace {

// Location codes handed to the error report: the step of the sequence.
enum Step : int {
    step_folders = 3,
    step_settings = 7,
    step_formats = 8,
    step_serial = 15,
};

// The data folders, tested (and created) in this order.
constexpr std::string_view data_folders[] = {"events", "datalog", "drums", "events/sent"};

// Creates, closes and deletes a test file in `folder`. Empty when that
// worked, else the reason.
std::string try_write(const std::filesystem::path& folder) {
    const auto probe = folder / "test.$%&";
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (!file) return std::strerror(errno);
    std::fclose(file);
    std::error_code ec;
    std::filesystem::remove(probe, ec);
    return {};
}

// Tests a folder, creating it when the test file cannot be written, then
// tests it again. Empty when the folder is writable, else the reason.
std::string make_writable(const std::filesystem::path& folder) {
    if (try_write(folder).empty()) return {};
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return ec.message();
    return try_write(folder);
}

// The companion watchdog program: "twarden" in the folder "twarden" of the
// station folder. It is given the heartbeat file whose freshness it watches.
void start_companion_watchdog(Station& station) {
    if (station.settings.general.use_twarden == 0) return;
    const auto program = station.path("twarden") / "twarden";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(program, ec)) return;
    std::string error;
    if (!station.io.launcher.start(program.string(), {station.path(files::heartbeat).string()},
                                   &error))
        station.event_list.append(error);
}

int number_in(const std::string& text, std::size_t first, std::size_t count) {
    if (first >= text.size()) return 0;
    return static_cast<int>(config::number_scan(text.substr(first, count)));
}

}  // namespace

std::filesystem::path resolve_station_folder(const std::string& folder_option) {
    if (!folder_option.empty()) return std::filesystem::absolute(folder_option);
    if (const char* home = std::getenv("TERRAWAVE_HOME"); home && *home) {
        return std::filesystem::absolute(home);
    }
    const char* user_home = std::getenv("HOME");
    return std::filesystem::path(user_home && *user_home ? user_home : ".") / ".local" / "share" /
           "terrawave";
}

std::string detect_time_format(const std::string& probe_time_text) {
    std::string format = probe_time_text.size() == 8 ? "HH" : "H";
    if (probe_time_text.find(':') != std::string::npos) {
        format += ":MM:SS";
    } else if (probe_time_text.find('.') != std::string::npos) {
        format += ".MM.SS";
    } else {
        format += "?MM?SS";
    }
    return format;
}

std::string detect_date_format(const std::string& probe_date_text) {
    // The probe date is 2000/12/31: find where the year and the month stand.
    if (number_in(probe_date_text, 0, 4) == 2000) {
        return number_in(probe_date_text, 5, 2) == 12 ? "YYYY/MM/DD" : "YYYY/DD/MM";
    }
    return number_in(probe_date_text, 3, 2) == 12 ? "DD/MM/YYYY" : "MM/DD/YYYY";
}

std::string date_time_warning(const Station& station, const std::string& probe_date_text) {
    // The program's files carry their own fixed time stamps; what it reads
    // of the locale is the PC date shown in the time setting window. Only a
    // date it would read wrong (another calendar's year, an order it cannot
    // tell) misleads it: a text it cannot read leaves it the clock's date.
    const auto read =
        acquisition::read_pc_date(probe_date_text, detect_date_format(probe_date_text));
    if (!read || (read->year == 2000 && read->month == 12 && read->day == 31)) return {};
    char read_text[32];
    std::snprintf(read_text, sizeof read_text, "%04d/%02d/%02d", read->year, read->month,
                  read->day);
    const auto& formats = station.pc_formats;
    const std::string crlf = "\r\n";
    std::string text =
        "The date format of this PC writes 2000/12/31 as \"" + probe_date_text + "\"," + crlf +
        "which TERRAWAVE reads as " + read_text +
        ": the PC date offered in the time setting window would be wrong." + crlf + crlf +
        "Give the program a time locale that writes the date in digits of the common calendar," +
        crlf + "for example LC_TIME=C.UTF-8 (or en_DK.UTF-8 for YYYY-MM-DD):" + crlf +
        "- on the desktop, in ~/.profile (export LC_TIME=C.UTF-8) or in /etc/default/locale;" +
        crlf +
        "- for the service, with Environment=LC_TIME=C.UTF-8 in systemctl edit terrawave." +
        crlf + "Then start TERRAWAVE again. NWR= 1 in terrawv.ini turns this warning off." + crlf;
    if (station.settings.general.service_mode == 1) {
        const auto now = station.io.clock.now();
        text += crlf + "Machine date/time: " + formats.system_date_format + " = " +
                formats.system_time_format + crlf + "Date/Time: " +
                station.io.clock.short_date_text(now) + " = " +
                station.io.clock.short_time_text(now) + crlf;
    }
    return text;
}

void test_serial_port(Station& station) {
    auto& port = station.io.serial;
    auto& general = station.settings.general;
    auto try_open = [&](int number) {
        port.close();
        port.set_port_number(number);
        port.set_line_settings("9600,n,8,1");
        port.set_read_length(1);
        port.set_read_mode(platform::SerialPort::ReadMode::binary);
        std::string error;
        const bool opened = port.open(&error);
        if (opened) {
            port.close();
        } else {
            station.event_list.append(error);
        }
        return opened;
    };

    if (general.comm_port < 1 || general.comm_port > 4) {
        station.io.dialogs.message_box("TERRAWAVE is unable to detect an appropriate Com port.",
                                       "TERRAWAVE", platform::DialogIcon::warning);
        station.error_report.report(supervision::error_number::port_not_available, step_serial,
                                    "PANEL Load", "no serial port configured");
        return;
    }
    if (try_open(general.comm_port)) return;
    // A device named on the command line is the only one to use: moving to
    // another port number would not change it.
    if (!station.port_override.empty()) {
        station.io.dialogs.message_box("The serial device " + station.port_override +
                                           " cannot be opened. Check the --port option.",
                                       "TERRAWAVE", platform::DialogIcon::warning);
        return;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        general.comm_port = general.comm_port % 4 + 1;
        station.io.dialogs.message_box(
            "The com port has been changed to Com" + std::to_string(general.comm_port) + "\r\n" +
                " If needed the Windows9x Mouse device driver should be disabled before "
                "continue.\r\n" +
                " Remember to check it and save the setting.",
            "TERRAWAVE", platform::DialogIcon::information);
        if (try_open(general.comm_port)) return;
    }
}

StartupResult run_startup(Station& station, const StartupOptions& options) {
    StartupResult result;
    auto& general = station.settings.general;

    // The station folder itself must be writable, else nothing can be kept.
    if (const auto reason = make_writable(station.folder()); !reason.empty()) {
        result.ok = false;
        result.error =
            "cannot write to the station folder " + station.program_folder() + ": " + reason;
        return result;
    }
    // Printing the settings writes nothing but a missing settings file.
    for (const auto folder : data_folders) {
        if (options.settings_only) break;
        const auto path = station.folder() / folder;
        if (const auto reason = make_writable(path); !reason.empty()) {
            result.ok = false;
            result.error = "cannot write to the folder " + path.string() + ": " + reason;
            return result;
        }
    }

    if (!options.settings_only && !station.event_list.append("START")) {
        result.ok = false;
        result.error = station.event_list.last_error();
        return result;
    }
    station.panel.buffer_size = station.io.serial.input_buffer_size();

    const auto loaded = config::load_settings(station.path(files::settings),
                                              station.program_folder(), station.settings);
    if (!loaded.read_error.empty()) {
        station.error_report.report(supervision::error_number::path_file_access_error,
                                    step_settings, "PANEL Load", loaded.read_error);
    }
    if (!loaded.write_error.empty()) {
        station.error_report.report(supervision::error_number::path_file_access_error,
                                    step_settings, "PANEL Load", loaded.write_error);
    }
    for (const auto& problem : loaded.problems) {
        station.error_report.report(problem.error_number, step_settings, "PANEL Load",
                                    "line " + std::to_string(problem.line_number) + ": " +
                                        problem.reason);
    }
    if (options.settings_only) return result;

    // Format detection: how the locale writes a probe date and time. The
    // machine's clock is never changed for it.
    const platform::DateTime probe{2000, 12, 31, 7, 12, 34, 0};
    const auto& clock = station.io.clock;
    const std::string probe_time = clock.short_time_text(probe);
    const std::string probe_date = clock.short_date_text(probe);
    station.pc_formats.system_time_format = detect_time_format(probe_time);
    station.pc_formats.system_date_format = detect_date_format(probe_date);
    if (general.no_version_warning == 0) {
        const std::string warning = date_time_warning(station, probe_date);
        if (!warning.empty()) station.io.dialogs.show_warning(warning, true);
    }
    const auto now = clock.now();
    station.pc_formats.start_date_text = clock.short_date_text(now);
    station.pc_formats.start_time_text = clock.short_time_text(now);
    station.panel.utc_clock.clear();

    result.open_trimming = general.service_mode == 1;
    result.show_fft_box = general.service_mode == 1;
    result.show_logo = general.service_mode == 0 && general.no_logo == 0;

    test_serial_port(station);

    station.selected_channel = 1;
    station.panel.stop_enabled = false;
    if (general.auto_start == 1) general.auto_start = 2;
    start_companion_watchdog(station);
    supervision::refresh_pc_clock_texts(clock, station.pc_clock);
    station.panel.notify();
    return result;
}

}  // namespace tw::app
