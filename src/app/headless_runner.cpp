#include "app/headless_runner.h"

#include "app/acquisition_control.h"
#include "app/housekeeping.h"
#include "app/status_line.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace tw::app {

namespace {
int signal_pipe[2] = {-1, -1};
constexpr std::int64_t feed_drain_ms = 3000;

void on_signal(int) {
    const char byte = 1;
    // Nothing else is safe in a signal handler; the event loop reads the pipe.
    [[maybe_unused]] const auto n = ::write(signal_pipe[1], &byte, 1);
}
}  // namespace

std::unique_ptr<QObject> watch_stop_signals(std::function<void()> stop) {
    if (signal_pipe[0] < 0 && ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    auto notifier = std::make_unique<QSocketNotifier>(signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [stop = std::move(stop)] {
        char buffer[16];
        while (::read(signal_pipe[0], buffer, sizeof buffer) > 0) {
        }
        stop();
    });
    return notifier;
}

int run_headless(Station& station, std::optional<double> run_for_seconds, double status_every) {

    int status = 0;
    bool starting = false;    // inside start_acquisition
    bool stop_asked = false;  // a signal or the end of --run-for

    // The program ends once the STOP path has run. A STOP that comes while
    // a pass or the board preparation is in progress completes when that
    // returns; until then this timer looks every 50 ms.
    QTimer wait_for_idle;
    wait_for_idle.setInterval(50);
    // Once stopped, the last records get up to feed_drain_ms to reach the
    // ring server; what is still on its way then goes at the next start.
    std::int64_t feed_deadline_ms = -1;
    auto feed_waiting = [&] {
        const auto* feed = station.stream.datalink();
        if (!feed || feed->settled()) return false;
        const std::int64_t now = station.io.clock.monotonic_ms();
        if (feed_deadline_ms < 0) feed_deadline_ms = now + feed_drain_ms;
        return now < feed_deadline_ms;
    };
    auto finish_when_idle = [&] {
        if (starting || acquisition_active(station) || feed_waiting()) {
            wait_for_idle.start();
            return;
        }
        wait_for_idle.stop();
        QCoreApplication::quit();
    };
    QObject::connect(&wait_for_idle, &QTimer::timeout, finish_when_idle);

    auto request_stop = [&] {
        if (stop_asked) return;
        stop_asked = true;
        station.housekeeping.notify_stopping();
        if (acquisition_active(station)) stop_acquisition(station);
        finish_when_idle();
    };

    const auto signals_watch = watch_stop_signals(request_stop);
    if (!signals_watch) return 1;

    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&station] { housekeeping_tick(station); });
    tick.start(1000);

    // A status line every few minutes, so that a user sees the station is alive.
    StatusLine status_line(station, station.io.clock.monotonic_ms());
    QTimer status_timer;
    QObject::connect(&status_timer, &QTimer::timeout, [&] {
        if (acquisition_active(station))
            std::cerr << "terrawave: " << status_line.next(station.io.clock.monotonic_ms()) << '\n';
    });
    if (status_every > 0) status_timer.start(static_cast<int>(std::min(status_every, 86400.0) * 1000));

    QTimer run_for;
    run_for.setSingleShot(true);
    QObject::connect(&run_for, &QTimer::timeout, request_stop);
    if (run_for_seconds) run_for.start(static_cast<int>(*run_for_seconds * 1000));

    // START as if pressed, once the event loop runs.
    QTimer::singleShot(0, [&] {
        starting = true;
        const auto outcome = start_acquisition(station);
        starting = false;
        if (outcome == acquisition::StartOutcome::running) station.housekeeping.notify_ready();
        if (outcome == acquisition::StartOutcome::board_not_found) {
            status = 2;
        } else if (outcome == acquisition::StartOutcome::refused) {
            std::cerr << "terrawave: acquisition not started: " << acquisition::to_string(outcome)
                      << '\n';
            status = 1;
        }
        if (status != 0 || stop_asked) {
            if (acquisition_active(station)) stop_acquisition(station);
            finish_when_idle();
        }
    });

    QCoreApplication::exec();
    tick.stop();
    if (acquisition_active(station)) stop_acquisition(station);
    return status;
}

}  // namespace tw::app
