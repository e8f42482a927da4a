#pragma once
// Fakes of the platform interfaces for unit tests. The fake clock only moves
// when told to (or when the fake event pump waits), so no test ever sleeps.

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/disk.h"
#include "platform/event_pump.h"
#include "platform/io_ports.h"
#include "platform/launcher.h"
#include "platform/scheduler.h"
#include "platform/service_manager.h"
#include "platform/sound.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tw::fakes {

class FakeClock : public platform::Clock {
public:
    FakeClock();
    // Sets the wall clock (local date and time).
    void set(int year, int month, int day, int hour, int minute, int second, int ms = 0);
    void advance_ms(std::int64_t ms);
    // From now on the clock also runs with real time (for tests of real
    // ports and event loops): still from the date the test set.
    void run_in_real_time() { real_start_ = std::chrono::steady_clock::now(); }

    platform::DateTime now() const override;
    double seconds_since_midnight() const override;
    std::int64_t monotonic_ms() const override { return monotonic_ms_ + real_ms(); }
    bool set_time_of_day(int hour, int minute, int second, std::string* error) override;
    bool set_date(int year, int month, int day, std::string* error) override;
    bool system_clock_synchronised() const override { return synchronised; }
    std::string short_date_text(const platform::DateTime& when) const override;
    std::string short_time_text(const platform::DateTime& when) const override;

    // How the fake "locale" writes dates and times: strftime patterns.
    std::string date_pattern = "%Y/%m/%d";
    std::string time_pattern = "%H:%M:%S";
    bool refuse_setting = false;
    bool synchronised = false;
    int set_time_calls = 0;
    int set_date_calls = 0;

private:
    std::int64_t real_ms() const {
        using namespace std::chrono;
        return real_start_ ? duration_cast<milliseconds>(steady_clock::now() - *real_start_).count() : 0;
    }
    std::int64_t epoch_ms_ = 0;  // wall clock, ms since 1970 (treated as local)
    std::int64_t monotonic_ms_ = 1000000;
    std::optional<std::chrono::steady_clock::time_point> real_start_;
};

class FakeEventPump : public platform::EventPump {
public:
    explicit FakeEventPump(FakeClock& clock) : clock_(clock) {}
    void process_events(int max_wait_ms) override;
    // Runs on each call, before time moves on: a test presses buttons here.
    std::function<void()> on_process;
    int calls = 0;

private:
    FakeClock& clock_;
};

class FakeDialogs : public platform::Dialogs {
public:
    struct Shown {
        std::string kind;  // "message", "question", "input", "warning"
        std::string text;
        std::string title;
    };
    void message_box(const std::string& text, const std::string& title,
                     platform::DialogIcon icon) override;
    bool ask_yes_no(const std::string& text, const std::string& title,
                    bool headless_answer) override;
    std::optional<std::string> input_box(const std::string& prompt, const std::string& title,
                                         const std::string& initial) override;
    void show_warning(const std::string& text, bool modal) override;

    // Each shown text as "text | title", in order.
    std::vector<std::string> messages() const;

    std::vector<Shown> shown;
    std::vector<bool> answers;  // answers to questions, in order; default answer after
    std::optional<std::string> input_answer;
    // Answers to input boxes, in order; input_answer after.
    std::vector<std::optional<std::string>> input_answers;
};

class FakeLauncher : public platform::Launcher {
public:
    struct Start {
        std::string program;
        std::vector<std::string> arguments;
    };
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               std::string* error) override;
    std::vector<Start> started;
    bool fail = false;
};

class FakeDisk : public platform::Disk {
public:
    std::optional<std::uint64_t> free_bytes(const std::filesystem::path&) const override {
        return free;
    }
    std::optional<std::uint64_t> free = 10'000'000'000ULL;
};

// Parallel ports and speaker in memory: what was written, and ports that
// are missing.
class FakeIoPorts : public platform::IoPorts {
public:
    std::optional<std::uint8_t> read_data(int lpt, std::string* error) override;
    bool write_data(int lpt, std::uint8_t value, std::string* error) override;
    bool speaker_tone(int frequency_hz, std::string* error) override;

    std::uint8_t data[4] = {0, 0, 0, 0};  // index 1..3: LPT1..LPT3
    bool missing[4] = {false, false, false, false};
    bool speaker_missing = false;
    std::vector<std::pair<int, std::uint8_t>> writes;  // (lpt, value) in order
    std::vector<int> tones;                             // frequencies set, 0 = off
};

class FakeSound : public platform::Sound {
public:
    bool play_wav(const std::filesystem::path& file, std::string* error) override;
    void stop() override { ++stops; }
    std::vector<std::filesystem::path> played;
    bool fail = false;
    int stops = 0;
};

// Tasks wait until the test runs them.
class FakeScheduler : public platform::Scheduler {
public:
    void run_after(int, std::function<void()> task) override { tasks.push_back(std::move(task)); }
    void run_all() {
        for (auto& task : std::exchange(tasks, {})) task();
    }
    std::vector<std::function<void()>> tasks;
};

class FakeServiceManager : public platform::ServiceManager {
public:
    void notify(const std::string& state) override { sent.push_back(state); }
    std::vector<std::string> sent;
};

}  // namespace tw::fakes
