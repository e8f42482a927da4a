#include "app/headless_runner.h"

#include "app/housekeeping.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tw::app {

namespace {
int signal_pipe[2] = {-1, -1};

void on_signal(int) {
    const char byte = 1;
    // Nothing else is safe in a signal handler; the event loop reads the pipe.
    [[maybe_unused]] const auto n = ::write(signal_pipe[1], &byte, 1);
}
}  // namespace

int run_headless(Station& station, std::optional<double> run_for_seconds) {
    if (signal_pipe[0] < 0 && ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    QSocketNotifier notifier(signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [] {
        char buffer[16];
        while (::read(signal_pipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });

    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&station] { housekeeping_tick(station); });
    tick.start(1000);

    if (run_for_seconds) {
        QTimer::singleShot(static_cast<int>(*run_for_seconds * 1000), [] {
            QCoreApplication::quit();
        });
    }
    QCoreApplication::exec();
    return 0;
}

}  // namespace tw::app
