#pragma once
// Runs the real programs for integration tests: one-shot runs with their
// output captured, and background runs stopped with a signal.

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tw::integration {

struct RunResult {
    int exit_status = -1;   // exit code, or 128 + signal
    std::string out;        // standard output
    std::string err;        // standard error
    bool timed_out = false;
};

// Runs `program` with `arguments` and extra environment entries ("K=V"),
// waits at most `timeout`, and captures both outputs.
RunResult run(const std::string& program, const std::vector<std::string>& arguments,
              std::chrono::milliseconds timeout = std::chrono::seconds(60),
              const std::vector<std::string>& environment = {});

// A program running in the background; its outputs go to files.
class Background {
public:
    Background(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& out_file, const std::string& err_file,
               const std::vector<std::string>& environment = {});
    ~Background();  // kills the program if still running
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    bool running();
    void signal(int number);
    // Waits for the end; returns the exit status as RunResult does, or -1 on
    // time-out.
    int wait(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Reads a whole file ("" when missing).
std::string read_file(const std::string& path);
// Polls `condition` every 50 ms until it holds or `timeout` passes.
template <typename Condition>
bool wait_until(Condition condition, std::chrono::milliseconds timeout);

}  // namespace tw::integration

#include <thread>

template <typename Condition>
bool tw::integration::wait_until(Condition condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}
