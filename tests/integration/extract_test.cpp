// Event files cut by terrawave --extract from day tracks that the program
// itself wrote from the simulated board: a run before midnight, a pause, and
// a run across midnight. Every line of every file is checked against what
// the board sent at its time, and "0" where the program was not logging.

#include "simulated_station.h"

#include "config/time_stamp.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace {

using namespace tw::integration;
using tw::config::stamp_seconds;
using tw::config::stamp_text;

// A recorded span of a day track: its START time, rate and sample count.
struct Span {
    std::int64_t start = 0;
    int sps = 0;
    std::uint64_t samples = 0;
};

std::vector<Span> spans_of(const fs::path& index, const fs::path& track) {
    static const std::regex group("START :(.{19})\r\nSPS   : (\\d+)\r\nPOSIT : (\\d+)\r\n|STOP  :.{19}\r\nPOSIT : (\\d+)\r\n");
    const std::string text = read_file(index.string());
    std::vector<Span> spans;
    std::vector<std::uint64_t> begins, ends;  // bytes of each span
    for (std::sregex_iterator m(text.begin(), text.end(), group), end; m != end; ++m) {
        if ((*m)[4].matched) {
            ends.back() = std::stoull((*m)[4]) + 1;
            continue;
        }
        begins.push_back(std::stoull((*m)[3]));
        if (!ends.empty() && ends.back() == 0) ends.back() = begins.back();
        spans.push_back({*stamp_seconds((*m)[1].str()), std::stoi((*m)[2]), 0});
        ends.push_back(0);  // 0: up to the next START or the end of the track
    }
    if (!ends.empty() && ends.back() == 0) ends.back() = fs::file_size(track);
    for (std::size_t i = 0; i < spans.size(); ++i) spans[i].samples = (ends[i] - begins[i]) / 2;
    return spans;
}

class ExtractTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        pc_start_ = "2003/02/03 12:00:00";
    }
    RunResult run_program(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--folder", station().string()});
        auto environment = pc_clock_at(pc_start_);
        environment.push_back("FAKETIME_DONT_FAKE_MONOTONIC=1");
        return run(TW_TERRAWAVE, arguments, 60s, environment);
    }
};

TEST_F(ExtractTest, FilesCutAcrossAPauseAndMidnightHoldTheBoardsSamplesAtTheirTimes) {
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "FLH=", " 0"}, {0, "NWR=", " 1"},
                   {1, "SPS=", " 8 "}, {1, "LOG=", " 1 "}, {2, "SPS=", " 7 "}, {2, "LOG=", " 1 "},
                   {3, "SPS=", " 0 "}, {4, "SPS=", " 0 "}});
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", "2003/02/03 23:57:00",
                                   "--speed-factor", "20"});
    ASSERT_TRUE(board.ready());
    // The runs last until the board has gone past what they must log.
    const auto first = run_headless_until(board.device(), [&] { return board.last_record_time() >= "2003/02/03 23:58:00"; });
    ASSERT_FALSE(first.timed_out) << first.err;
    ASSERT_EQ(first.exit_status, 0) << first.err;
    // The pause: the board's clock runs on (20 times real time) while the
    // program is away for 1.5 s, half a board minute. Only the length of the
    // pause depends on this wait, and it is measured from the indexes below.
    const auto day1 = spans_of(station() / "datalog" / "0203.ll1", station() / "datalog" / "0203.lg1");
    ASSERT_FALSE(day1.empty());
    const std::int64_t stopped = day1.back().start + static_cast<std::int64_t>(day1.back().samples / 20);
    std::this_thread::sleep_for(1500ms);
    const auto second = run_headless_until(board.device(), [&] { return board.last_record_time() >= "2003/02/04 00:01:00"; });
    ASSERT_FALSE(second.timed_out) << second.err;
    ASSERT_EQ(second.exit_status, 0) << second.err;
    board.stop();

    std::map<int, std::vector<Span>> spans;
    std::map<std::pair<std::string, int>, int> sent[3];  // by channel: (second, index) -> value
    for (int k = 1; k <= 2; ++k) {
        for (const char* day : {"0203", "0204"}) {
            const auto d = spans_of(station() / "datalog" / (std::string(day) + ".ll" + std::to_string(k)),
                                    station() / "datalog" / (std::string(day) + ".lg" + std::to_string(k)));
            spans[k].insert(spans[k].end(), d.begin(), d.end());
        }
        for (const auto& s : board.samples(k)) sent[k][{s.time, s.index}] = s.value;
    }
    // From 30 s before the first STOP for whole minutes, past midnight,
    // up to the second run's last sample.
    const std::int64_t from = stopped - 30;
    const Span& last = spans[1].back();
    const auto minutes = static_cast<int>((last.start + static_cast<std::int64_t>(last.samples / 20) - from) / 60);
    ASSERT_GT(from + minutes * 60, *stamp_seconds("2003/02/04 00:00:00")) << "the second run ended before midnight";

    for (const int format : {0, 1, 2}) {
        SCOPED_TRACE("format " + std::to_string(format));
        edit_settings({{0, "FOU=", " " + std::to_string(format)}});
        std::vector<std::string> arguments = {"--extract", stamp_text(from), "--minutes", std::to_string(minutes)};
        if (format == 1) arguments.insert(arguments.end(), {"--channels", "2,1"});
        const auto cut = run_program(arguments);
        ASSERT_EQ(cut.exit_status, 0) << cut.err;
        const auto files = split_lines(cut.out);
        ASSERT_EQ(files.size(), 2u) << cut.out;
        for (const std::string& file : files) {
            const int k = file.back() - '0';  // extensions end in the channel digit
            const int sps = k == 1 ? 20 : 10;
            SCOPED_TRACE(file);
            const auto lines = split_lines(read_file(file));
            const std::size_t total = static_cast<std::size_t>(minutes) * 60 * sps;
            const auto data = std::find(lines.begin(), lines.end(), "Data:");
            const std::size_t first_line = format == 2 ? 1 : static_cast<std::size_t>(data - lines.begin()) + 1;
            ASSERT_EQ(lines.size() - first_line, total);
            if (format == 2) {
                EXPECT_EQ(lines[0].substr(24, 10), std::string(10 - std::to_string(total).size(), '0') + std::to_string(total));
            } else {
                EXPECT_NE(std::find(lines.begin(), lines.end(), "Number of Samples: " + std::to_string(total)), lines.end());
            }
            std::size_t zeros = 0;
            for (std::size_t i = 0; i < total; ++i) {
                const double t = static_cast<double>(from) + static_cast<double>(i) / sps;
                bool recorded = false;
                for (const Span& s : spans[k])
                    recorded = recorded || (t >= s.start && t < s.start + static_cast<double>(s.samples) / sps);
                std::string expected = "0";
                if (recorded) {
                    const auto value = sent[k].find({stamp_text(from + static_cast<std::int64_t>(i) / sps), static_cast<int>(i % sps)});
                    ASSERT_NE(value, sent[k].end()) << "line " << i << " was never sent";
                    expected = (value->second < 0 ? "" : " ") + std::to_string(value->second);
                }
                zeros += expected == "0";
                ASSERT_EQ(lines[first_line + i], expected) << "line " << i;
            }
            EXPECT_GE(zeros, static_cast<std::size_t>(25 * sps));  // the pause at least
        }
    }

    // A day without tracks gives no file and exit status 1; a bad command line 2.
    const auto none = run_program({"--extract", "2003/03/01 10:00:00", "--minutes", "5", "--channels", "1"});
    EXPECT_EQ(none.exit_status, 1);
    EXPECT_NE(none.err.find("Data of track 1 missing. .LG1 not present."), std::string::npos) << none.err;
    EXPECT_EQ(run_program({"--extract", "2003/02/30 10:00:00", "--minutes", "5"}).exit_status, 2);
}

}  // namespace
