// terrawave-boardsim: the board simulator as a program of its own.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "boardsim/options.h"
#include "boardsim/simulator.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = tw::boardsim::parse_command_line(arguments);
    if (parsed.help) {
        std::fputs(tw::boardsim::usage_text().c_str(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "terrawave-boardsim: %s\nTry 'terrawave-boardsim --help'.\n",
                     parsed.error.c_str());
        return 2;
    }

    // SIGINT and SIGTERM are taken with sigwait below; block them before the
    // board thread starts so that it inherits the mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    tw::boardsim::Simulator simulator(parsed.options);
    std::string error;
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "terrawave-boardsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", simulator.device_path().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop_signals, &signal);
    simulator.stop();
    return 0;
}
