// terrawave: data acquisition for a seismic station on a small A/D board.

#include "app/acquisition_control.h"
#include "app/command_line.h"
#include "app/extract_command.h"
#include "app/retrigger_command.h"
#include "app/headless_runner.h"
#include "app/simulation.h"
#include "app/startup.h"
#include "app/station.h"
#include "boardsim/simulator.h"
#include "config/settings_file.h"
#include "platform/headless_dialogs.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/ppdev_io_ports.h"
#include "platform/posix/spawn_launcher.h"
#include "platform/posix/statvfs_disk.h"
#include "platform/posix/systemd_service_manager.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_http_server.h"
#include "platform/qt/qt_image_files.h"
#include "platform/qt/qt_printer.h"
#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_tcp.h"
#include "platform/qt/qt_tcp_connector.h"
#include "stream/datalink_settings.h"
#include "platform/qt/qt_sound.h"
#include "ui/windows.h"
#include "web/services.h"
#include "app/web_station.h"
#include "platform/qt/qt_png.h"
#include "web/web_settings.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <optional>

using namespace tw;

namespace {

// "program:user:pid:architecture", as ring servers list their clients.
std::string datalink_client_id() {
    const passwd* user = ::getpwuid(::getuid());
    utsname system{};
    ::uname(&system);
    return std::string("terrawave:") + (user ? user->pw_name : "?") + ":" + std::to_string(::getpid()) +
           ":" + system.sysname + "-" + system.machine;
}

void echo_to_stderr(app::Station& station) {
    station.error_report.set_echo(
        [](const std::string& line) { std::cerr << "terrawave: error: " << line << '\n'; });
}

int run(const app::CommandLine& options, int argc, char** argv) {
    const auto folder = app::resolve_station_folder(options.folder);
    // The replay needs neither the window system nor a board.
    if (options.retrigger) return app::run_retrigger_command(folder, options, std::cout, std::cerr);
    const bool windows = !options.headless && !options.print_settings && !options.extract;
    std::unique_ptr<QCoreApplication> application;
    if (windows) {
        application = std::make_unique<QApplication>(argc, argv);
    } else if (options.headless) {
        // The drums are drawn headless too, and their labels need the
        // window system's fonts: the off-screen platform needs no display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName("terrawave");

    // --simulate: the built-in simulator on a pseudo-terminal is the port.
    std::unique_ptr<boardsim::Simulator> simulator;
    std::optional<app::SimulationPlan> simulation;
    std::string port = options.port;
    if (options.simulate && !options.print_settings) {
        simulation = app::plan_simulation(folder, *options.simulate);
        simulator = std::make_unique<boardsim::Simulator>(simulation->options);
        std::string error;
        if (!simulator->start(&error)) {
            std::cerr << "terrawave: the board simulator did not start: " << error << '\n';
            return 1;
        }
        if (!port.empty()) {
            std::cerr << "terrawave: --simulate replaces --port " << port << '\n';
        }
        port = simulator->device_path();
        std::cerr << "terrawave: simulated " << boardsim::to_string(simulation->options.family)
                  << " board on " << port << '\n';
    }
    // A new station on the simulated board gets settings that show it at work.
    const bool simulation_settings =
        simulation && !options.extract && app::write_simulation_settings(folder, *simulation);

    platform::PosixClock clock;
    platform::StatvfsDisk disk;
    platform::SpawnLauncher launcher;
    platform::QtEventPump pump;
    platform::QtSerialPort serial(port);
    platform::HeadlessDialogs headless_dialogs(std::cerr);
    platform::QtDialogs window_dialogs;
    platform::Dialogs& dialogs =
        windows ? static_cast<platform::Dialogs&>(window_dialogs) : headless_dialogs;
    if (windows) ui::install_warning_box(window_dialogs);
    // Event summaries go to the default printer; the headless program has
    // none (a printer needs the window system).
    std::unique_ptr<platform::QtPrinter> printer;
    if (windows) printer = std::make_unique<platform::QtPrinter>();

    platform::QtImageFiles images;
    // Parallel ports, speaker and sound are opened at their first use.
    platform::PpdevIoPorts io_ports;
    platform::QtSound sound;
    platform::QtScheduler scheduler;
    platform::SystemdServiceManager service_manager;
    // The data server's listener and the feed's connections outlive the
    // station, whose server and feed use them until the end.
    platform::QtTcpListener seedlink_listener;
    platform::QtTcpConnector datalink_connector;

    app::Station station(folder, app::Services{serial, clock, dialogs, disk, launcher, pump,
                                               printer.get(), &io_ports, &sound, &images,
                                               &scheduler, &service_manager});
    station.port_override = port;
    // The simulated board's family is the station's for this run.
    auto use_simulation = [&] {
        if (simulation && simulation->family_named)
            station.settings.general.ad_type = simulation->ad_type;
        if (simulation_settings)
            station.event_list.append(app::simulation_settings_note(station.settings));
    };

    // --mseed, --seedlink and --datalink: the day archive, the data server
    // (SeedLink over WebSocket on the same port, for browser clients) and the
    // feed to a ring server, once the station is started up.
    seedlink_listener.accept_websocket({"/seedlink", {{"SeedLink4.0", 4}, {"SeedLink3.1", 3}}});
    // The archive, SeedLink and codes in effect: the command line over
    // [STREAM]; the HTTP services and the feed use the same.
    stream::StreamOptions effective_stream{{}, {}, {}, app::stream_codes(options), {}};
    auto open_stream = [&](std::string* error) {
        std::vector<std::string> problems;
        const auto kept = stream::read_stream_settings(station.settings.extra, &problems);
        // The ring server of the command line, else that of [DATALINK].
        auto feed = stream::read_datalink_settings(station.settings.extra, &problems);
        for (const auto& problem : problems) station.event_list.append(problem);
        if (!options.datalink.empty()) stream::parse_host_port(options.datalink, feed.host, feed.port);
        const auto stream_options = app::stream_options(options, kept);
        effective_stream = stream_options;
        if (!feed.host.empty()) {
            if (const auto bad = stream::check_codes(stream_options.codes); !bad.empty()) {
                station.event_list.append("DataLink: no feed to " + feed.host + ":" + std::to_string(feed.port) +
                                          " without the station's codes: " + bad);
                feed = {};
            }
        }
        if (stream_options.archive_root.empty() && !stream_options.seedlink_port && feed.host.empty())
            return true;
        if (!station.stream.open(stream_options, &seedlink_listener, error)) return false;
        if (!feed.host.empty())
            station.stream.open_datalink({feed.host, feed.port, station.path(app::files::datalink_positions),
                                          datalink_client_id()},
                                         datalink_connector);
        return true;
    };
    std::string stream_error;

    // --http: the web services on one route table, once the station is
    // started up.
    web::Router router;
    std::unique_ptr<web::WebContext> web_context;
    std::unique_ptr<app::WebStation> web_station;
    QTimer web_tick;
    std::unique_ptr<platform::QtHttpServer> http_server;
    auto open_http = [&](std::string* error) {
        // The command line wins over the [WEB] settings.
        std::vector<std::string> problems;
        const auto file = web::read_web_settings(station.settings.extra, &problems);
        for (const auto& problem : problems) station.event_list.append(problem);
        const std::optional<int> port = options.http_port ? options.http_port : file.port;
        const std::string bind = options.http_port ? options.http_bind : file.bind;
        if (!port) return true;
        if (const auto bad = stream::check_codes(effective_stream.codes); !bad.empty()) {
            *error = "the HTTP server needs the station's codes: " + bad;
            return false;
        }
        web_context.reset(new web::WebContext{station.settings, station.event_list,
                                              effective_stream.codes, effective_stream.archive_root,
                                              clock, &station.stream});
        web::add_fdsn_routes(router, *web_context);
        // The station page and its API: every other path.
        const auto page_folder = app::find_page_folder("/proc/self/exe");
        if (page_folder.empty())
            station.event_list.append("Station page not installed: only its API is served");
        web_station = std::make_unique<app::WebStation>(
            station, effective_stream.codes, page_folder, [&]() -> std::optional<int> {
                if (!station.stream.server()) return std::nullopt;
                return seedlink_listener.port();
            });
        web_station->encode_png = [](const platform::Canvas& picture) { return platform::png_bytes(picture); };
        web::add_station_page_routes(router, web_station->site());
        QObject::connect(&web_tick, &QTimer::timeout, [&] { web_station->tick(); });
        web_tick.start(1000);
        http_server = std::make_unique<platform::QtHttpServer>(
            [&router](const platform::HttpRequest& request) { return router.handle(request); });
        std::string why;
        if (!http_server->listen_on(bind, *port, &why)) {
            *error = "the HTTP server cannot listen: " + why;
            return false;
        }
        station.event_list.append(
            "HTTP server listening on " +
            (bind.empty() ? std::string("all addresses") : bind) +
            " port " + std::to_string(http_server->port()));
        return true;
    };

    if (options.print_settings) {
        station.error_report.set_pause_enabled(false);
        echo_to_stderr(station);
        const auto result = app::run_startup(station, {.settings_only = true});
        if (!result.ok) {
            std::cerr << "terrawave: " << result.error << '\n';
            return 1;
        }
        const std::string bytes = config::format_settings(station.settings);
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        return 0;
    }

    if (options.extract) return app::run_extract_command(station, options, std::cout, std::cerr);

    if (!windows) {
        // The error report's pause is for a user reading a window; without
        // one each report goes to standard error and the program goes on.
        station.error_report.set_pause_enabled(false);
        echo_to_stderr(station);
        station.event_list.set_line_listener(
            [](const std::string& line) { std::cerr << "terrawave: " << line << '\n'; });
        const auto result = app::run_startup(station);
        if (!result.ok) {
            std::cerr << "terrawave: " << result.error << '\n';
            return 1;
        }
        use_simulation();
        if (!open_stream(&stream_error) || !open_http(&stream_error)) {
            std::cerr << "terrawave: " << stream_error << '\n';
            return 1;
        }
        return app::run_headless(station, options.run_for, options.status_every);
    }

    const auto result = app::run_startup(station);
    if (!result.ok) {
        QMessageBox::critical(nullptr, "TERRAWAVE", QString::fromLocal8Bit(result.error.c_str()));
        std::cerr << "terrawave: " << result.error << '\n';
        return 1;
    }
    use_simulation();
    if (!open_stream(&stream_error) || !open_http(&stream_error)) {
        QMessageBox::critical(nullptr, "TERRAWAVE", QString::fromLocal8Bit(stream_error.c_str()));
        std::cerr << "terrawave: " << stream_error << '\n';
        return 1;
    }
    if (result.show_logo) ui::show_logo_during_startup(station);
    ui::MainWindow window(station, result);
    window.show();
    // A signal (a logout, systemctl stop) closes the window as its close box
    // would; either way the STOP path runs before the program ends, so the
    // open event file and the tracks are completed.
    const auto signals_watch = app::watch_stop_signals([&window] { window.close(); });
    station.housekeeping.notify_ready();
    const int status = QApplication::exec();
    station.housekeeping.notify_stopping();
    if (app::acquisition_active(station)) app::stop_acquisition(station);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = app::parse_command_line(arguments);
    if (!parsed.error.empty()) {
        std::cerr << "terrawave: " << parsed.error << "\n\n" << app::usage_text();
        return 2;
    }
    if (parsed.options.help) {
        std::cout << app::usage_text();
        return 0;
    }
    if (parsed.options.version) {
        std::cout << "terrawave V.02.22\n";
        return 0;
    }
    return run(parsed.options, argc, argv);
}
