#pragma once
// A station folder in the temporary directory, terrawave run on it headless,
// and terrawave-boardsim in the background as its board: what the
// end-to-end tests share. The programs run as one-shot runs with their
// output captured, or in the background until stopped with a signal.

#include "config/time_stamp.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace tw::integration {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

// A whole file ("" when missing), and a text's lines without CR LF.
using tw::testing::read_file;
using tw::testing::split_lines;
// Polls `condition` every 50 ms until it holds or `timeout` passes.
template <typename Condition>
bool wait_until(Condition condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// Where a test gives no time of its own, the board's clock and the program's
// PC clock start here: every date a test sees is one it chose.
inline const std::string default_start = "2024/03/05 12:34:10";

// The environment that starts the program's PC clock at `start`
// ("YYYY/MM/DD HH:MM:SS", local time) through libfaketime.
inline std::vector<std::string> pc_clock_at(std::string start) {
    std::replace(start.begin(), start.end(), '/', '-');
    return {"LD_PRELOAD=" TW_LIBFAKETIME, "FAKETIME=@" + start};
}

// One sample of the simulator's record file.
struct RecordedSample {
    std::string time;  // "YYYY/MM/DD HH:MM:SS" board second
    int channel = 0;   // 1..4
    int value = 0;
    int index = 0;     // position in its board second
};

// The values of a channel's record from the first sample of board second
// `start` on, with a zero at each (time, index) of `zeros`: where the
// program must have stored one for a packet that arrived a byte short.
inline std::vector<int> sent_from(const std::vector<RecordedSample>& record, const std::string& start,
                                  const std::vector<std::pair<std::string, int>>& zeros = {}) {
    std::vector<int> values;
    bool started = false;
    for (const auto& s : record) {
        started = started || (s.time == start && s.index == 0);
        if (!started) continue;
        const bool zero = std::find(zeros.begin(), zeros.end(), std::pair(s.time, s.index)) != zeros.end();
        values.push_back(zero ? 0 : s.value);
    }
    return values;
}

// An event file read back: its header lines and its sample lines (999999
// for a line that is no sample).
struct EventFileText {
    std::map<std::string, std::string> header;  // "Start Time" -> "2024/03/05 12:00:22.000 "
    std::vector<int> samples;
    bool whole_lines = true;
};

inline EventFileText read_event_file(const fs::path& path) {
    EventFileText file;
    const std::string text = read_file(path.string());
    file.whole_lines = text.empty() || text.ends_with("\r\n");
    bool data = false;
    for (const auto& line : split_lines(text)) {
        if (data) {
            char* end = nullptr;
            const long value = std::strtol(line.c_str(), &end, 10);
            file.samples.push_back(end == line.c_str() || *end ? 999999 : static_cast<int>(value));
        } else if (line == "Data:") {
            data = true;
        } else if (const auto colon = line.find(": "); colon != std::string::npos) {
            file.header[line.substr(0, colon)] = line.substr(colon + 2);
        }
    }
    return file;
}

// `samples` are what the board sent one after the other from the first
// sample of second `start` on (`zeros` as for sent_from).
inline ::testing::AssertionResult sent_from_start(const std::vector<RecordedSample>& record, const std::string& start,
                                                  const std::vector<int>& samples,
                                                  const std::vector<std::pair<std::string, int>>& zeros = {}) {
    auto sent = sent_from(record, start, zeros);
    if (samples.empty() || sent.size() < samples.size())
        return ::testing::AssertionFailure() << samples.size() << " samples, " << sent.size() << " sent from " << start;
    sent.resize(samples.size());
    if (sent != samples) return ::testing::AssertionFailure() << "not what the board sent from " << start;
    return ::testing::AssertionSuccess();
}

// The event file holds the board's samples from the first one of its Start
// Time on, and its count is its number of lines.
inline void expect_board_samples(const EventFileText& file, const std::vector<RecordedSample>& record,
                                 const std::vector<std::pair<std::string, int>>& zeros = {}) {
    EXPECT_TRUE(sent_from_start(record, file.header.at("Start Time").substr(0, 19), file.samples, zeros));
    EXPECT_EQ(std::stoul(file.header.at("Number of Samples")), file.samples.size());
}

// `samples` are what the board sent one after the other, `step_us` apart,
// from the sample stamped `start_us` (to the millisecond) on.
inline ::testing::AssertionResult sent_at(const std::vector<RecordedSample>& record, std::int64_t start_us,
                                          std::int64_t step_us, const std::vector<int>& samples) {
    const auto first = std::find_if(record.begin(), record.end(), [&](const RecordedSample& s) {
        return std::llabs(*tw::config::stamp_seconds(s.time) * 1000000LL + s.index * step_us - start_us) < 1000;
    });
    if (samples.empty() || record.end() - first < static_cast<long>(samples.size()))
        return ::testing::AssertionFailure() << samples.size() << " samples, too few sent from " << start_us;
    for (std::size_t k = 0; k < samples.size(); ++k)
        if (samples[k] != first[static_cast<long>(k)].value)
            return ::testing::AssertionFailure() << "sample " << k << ": " << samples[k] << ", the board sent "
                                                 << first[static_cast<long>(k)].value;
    return ::testing::AssertionSuccess();
}

// The port a server of the program names in its messages in `file`
// ("... `words`41234"), or 0 when it has named none within 30 s.
inline int port_named(const std::string& file, const std::string& words) {
    int port = 0;
    wait_until([&] {
        const std::string text = read_file(file);
        const auto at = text.find(words);
        if (at != std::string::npos) port = std::atoi(text.c_str() + at + words.size());
        return port > 0;
    }, std::chrono::seconds(30));
    return port;
}

// A blocking TCP client of a loopback server with a receive time-out, from
// a loopback address of its choice.
struct Client {
    explicit Client(int port, const char* from = "127.0.0.1", int timeout_s = 30) {
        timeval timeout{timeout_s, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &address.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(fd); }
    void send(const std::string& text) { ::send(fd, text.data(), text.size(), MSG_NOSIGNAL); }
    // Exactly `n` bytes, fewer when the server closed or went silent.
    std::string take(std::size_t n) {
        while (buffer.size() < n) {
            char chunk[4096];
            const long got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0) break;
            buffer.append(chunk, static_cast<std::size_t>(got));
        }
        std::string out = buffer.substr(0, n);
        buffer.erase(0, out.size());
        return out;
    }
    std::string line() {
        std::string text;
        while (!text.ends_with("\r\n")) {
            const std::string c = take(1);
            if (c.empty()) return text;
            text += c;
        }
        return text.substr(0, text.size() - 2);
    }

    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    bool connected = false;
    std::string buffer;
};

inline std::vector<fs::path> files_in(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The simulated board, running in the background with a link, a command log
// and a sample record in the test's folder.
class SimulatedBoard {
public:
    SimulatedBoard(const fs::path& folder, std::vector<std::string> options)
        : link_(folder / "board"), log_(folder / "board.log"), record_(folder / "board.rec") {
        if (std::find(options.begin(), options.end(), "--start") == options.end())
            options.insert(options.end(), {"--start", default_start});
        options.insert(options.end(), {"--link", link_.string(), "--log", log_.string(),
                                       "--record", record_.string()});
        process_ = std::make_unique<Background>(TW_BOARDSIM, options, (folder / "sim.out").string(),
                                                (folder / "sim.err").string());
        ready_ = wait_until([&] { return fs::exists(link_); }, 30s);
    }
    ~SimulatedBoard() { stop(); }
    // Ends the simulator; its record is complete afterwards.
    void stop() {
        if (!process_) return;
        process_->signal(SIGTERM);
        process_->wait(5s);
        process_.reset();
    }
    bool ready() const { return ready_; }
    std::string device() const { return link_.string(); }
    // The commands the board received, without their time stamps
    // ("84 64 64 02 01 00"; the preambles are not part of them).
    std::vector<std::string> commands() const {
        std::vector<std::string> out;
        for (const auto& line : split_lines(read_file(log_.string())))
            if (line.size() > 13) out.push_back(line.substr(13));
        return out;
    }
    std::vector<std::string> record() const { return split_lines(read_file(record_.string())); }
    // The record of one channel, in the order sent.
    std::vector<RecordedSample> samples(int channel) const {
        std::vector<RecordedSample> out;
        for (const auto& line : record()) {
            std::istringstream in(line);
            std::string date, time;
            RecordedSample s;
            if (in >> date >> time >> s.channel >> s.value >> s.index && s.channel == channel) {
                s.time = date + " " + time;
                out.push_back(s);
            }
        }
        return out;
    }

private:
    fs::path link_, log_, record_;
    std::unique_ptr<Background> process_;
    bool ready_ = false;
};

// A settings change: the line of `key` ("SPS=") in the channel's section
// (1..4), or among the general lines (0), gets `value`.
struct SettingEdit {
    int section = 0;
    std::string key;
    std::string value;
};

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // The process's own: runs of the suite side by side never meet.
        folder_ = fs::temp_directory_path() / ("tw_it_" + std::to_string(::getpid()) + "_" +
                                               info->test_suite_name() + "_" + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "station");
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder_);
    }
    fs::path station() const { return folder_ / "station"; }

    // A new station with these lines changed, section by section.
    void edit_settings(const std::vector<SettingEdit>& edits) {
        const auto made = run(TW_TERRAWAVE, {"--folder", station().string(), "--print-settings"});
        ASSERT_EQ(made.exit_status, 0) << made.err;
        std::vector<std::string> lines = split_lines(read_file((station() / "terrawv.ini").string()));
        for (const auto& edit : edits) {
            int section = -1;
            bool done = false;
            for (auto& line : lines) {
                if (line.starts_with("[CHANNEL")) section = line[8] - '0';
                if (line == "[GENERAL]") section = 0;
                if (section == edit.section && line.starts_with(edit.key)) {
                    line = edit.key + edit.value;
                    done = true;
                    break;
                }
            }
            ASSERT_TRUE(done) << edit.section << " " << edit.key;
        }
        std::string text;
        for (const auto& line : lines) text += line + "\r\n";
        std::ofstream(station() / "terrawv.ini", std::ios::binary) << text;
    }
    // The event list without the time stamps.
    std::vector<std::string> events() const {
        std::vector<std::string> texts;
        for (const auto& line : split_lines(read_file((station() / "evtfile.dat").string())))
            texts.push_back(line.size() > 20 ? line.substr(20) : line);
        return texts;
    }
    bool has_event(const std::string& text) const {
        const auto lines = events();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    std::vector<std::string> headless_arguments(const std::string& device,
                                                std::vector<std::string> more = {}) const {
        std::vector<std::string> arguments = {"--folder", station().string(), "--headless"};
        if (!device.empty()) arguments.insert(arguments.end(), {"--port", device});
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }
    RunResult run_headless(const std::string& device, int seconds, std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"--run-for", std::to_string(seconds)});
        return run(TW_TERRAWAVE, headless_arguments(device, more), std::chrono::seconds(seconds + 60),
                   pc_clock_at(pc_start_));
    }
    // Runs the program headless until `done` holds (or `deadline` passes),
    // then stops it with SIGTERM as a service manager would; `timed_out`
    // says that `done` never held.
    template <typename Done>
    RunResult run_headless_until(const std::string& device, Done done,
                                 std::chrono::seconds deadline = 120s,
                                 std::vector<std::string> more = {}) {
        const std::string out = (folder_ / "tw.out").string(), err = (folder_ / "tw.err").string();
        Background program(TW_TERRAWAVE, headless_arguments(device, std::move(more)), out, err,
                           pc_clock_at(pc_start_));
        RunResult result;
        result.timed_out = !wait_until(done, deadline);
        program.signal(SIGTERM);
        result.exit_status = program.wait(60s);
        result.out = read_file(out);
        result.err = read_file(err);
        return result;
    }

    fs::path folder_;
    std::string pc_start_ = default_start;  // the program's PC clock at its start
};

}  // namespace tw::integration
