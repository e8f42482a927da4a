#pragma once
// A simulated A/D board on a pseudo-terminal.
//
// start() opens a pty and runs the board on a thread of its own (poll() on
// the pty master, no busy loop). The program opens device_path() as if it
// were the board's serial port. Several simulators may run in one process;
// nothing is shared between them.

#include <memory>
#include <string>

#include "boardsim/options.h"

namespace tw::boardsim {

class Simulator {
public:
    explicit Simulator(SimulatorOptions options);
    ~Simulator();  // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the pty (raw mode), the log and record files and the link, and
    // starts the board. Returns false with a message in `error` (when given)
    // if any of that fails; nothing is left running then.
    bool start(std::string* error = nullptr);
    // Stops the board, flushes and closes the files, closes the pty and
    // removes the link if it still points to it. Safe to call twice.
    void stop();
    bool running() const;

    // The path the program should open: the link when one was asked for,
    // else the pty slave.
    std::string device_path() const;
    // The current pty slave ("/dev/pts/N"); it changes after an unplug.
    std::string slave_path() const;
    // The opens and closes of the port seen so far; the line is emptied at
    // each (a real port starts empty when it is opened). Once an open is
    // counted, nothing sent before it can come.
    unsigned line_resets() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tw::boardsim
