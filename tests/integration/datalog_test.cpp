// Day tracks written by terrawave --headless from the simulated board: a
// run killed in the middle of a segment and restarted the same day, and a
// run across midnight with four channels at different rates. The tracks are
// read back through their indexes and compared with the samples the board
// sent (its record).

#include "simulated_station.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>

namespace {

using namespace tw::integration;

// --- Reading the files back ------------------------------------------------------

struct Group {
    std::string start;  // "YYYY/MM/DD HH:MM:SS"
    std::string sps;    // the SPS value text
    std::uint64_t position = 0;
    std::optional<std::string> stop;
    std::optional<std::uint64_t> stop_position;
};

// A day index: START/SPS/POSIT groups, each optionally followed by a
// STOP/POSIT group; every line CR LF ended. `problem` says what is wrong.
std::vector<Group> parse_index(const std::string& text, std::string& problem) {
    std::vector<Group> groups;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const auto end = text.find("\r\n", at);
        if (end == std::string::npos) {
            problem = "last line without CR LF";
            return groups;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    auto number = [](const std::string& value, std::uint64_t& out) {
        if (value.size() < 2 || value[0] != ' ') return false;
        out = 0;
        for (std::size_t i = 1; i < value.size(); ++i) {
            if (value[i] < '0' || value[i] > '9') return false;
            out = out * 10 + static_cast<std::uint64_t>(value[i] - '0');
        }
        return true;
    };
    for (std::size_t i = 0; i < lines.size();) {
        if (lines[i].starts_with("START :") && i + 2 < lines.size() &&
            lines[i + 1].starts_with("SPS   :") && lines[i + 2].starts_with("POSIT :")) {
            Group g;
            g.start = lines[i].substr(7);
            g.sps = lines[i + 1].substr(7);
            if (g.start.size() != 19 || !number(lines[i + 2].substr(7), g.position)) {
                problem = "bad START group at line " + std::to_string(i + 1);
                return groups;
            }
            groups.push_back(g);
            i += 3;
        } else if (lines[i].starts_with("STOP  :") && i + 1 < lines.size() &&
                   lines[i + 1].starts_with("POSIT :") && !groups.empty() && !groups.back().stop) {
            std::uint64_t position = 0;
            if (!number(lines[i + 1].substr(7), position)) {
                problem = "bad STOP group at line " + std::to_string(i + 1);
                return groups;
            }
            groups.back().stop = lines[i].substr(7);
            groups.back().stop_position = position;
            i += 2;
        } else {
            problem = "unexpected line " + std::to_string(i + 1) + ": " + lines[i];
            return groups;
        }
    }
    return groups;
}

std::vector<int> decode_samples(const std::string& bytes, std::uint64_t begin, std::uint64_t end) {
    std::vector<int> samples;
    for (std::uint64_t at = begin; at + 2 <= end && at + 2 <= bytes.size(); at += 2) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        samples.push_back(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
    }
    return samples;
}

// Board times as seconds, and back.
std::int64_t seconds_of(const std::string& text) {
    std::tm t{};
    if (std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                    &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
        return -1;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return timegm(&t);
}
std::string text_of(std::int64_t seconds) {
    const std::time_t value = seconds;
    std::tm t{};
    gmtime_r(&value, &t);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &t);
    return text;
}

// Where in the record the sample (time, index) lies; npos when it is not.
std::size_t find_sample(const std::vector<RecordedSample>& record, const std::string& time,
                        int index) {
    for (std::size_t i = 0; i < record.size(); ++i)
        if (record[i].time == time && record[i].index == index) return i;
    return std::string::npos;
}

// Checks that `samples` are the board's, one after the other from record
// position `from` on, and that sample k lies where its index group puts it:
// at the time start + k / rate.
::testing::AssertionResult sent_in_order(const std::vector<RecordedSample>& record,
                                         std::size_t from, const std::string& start, int rate,
                                         const std::vector<int>& samples) {
    if (from == std::string::npos) return ::testing::AssertionFailure() << start << " not sent";
    if (from + samples.size() > record.size())
        return ::testing::AssertionFailure() << samples.size() << " samples from " << start
                                             << ", the board sent " << record.size() - from;
    const std::int64_t t0 = seconds_of(start);
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const RecordedSample& sent = record[from + k];
        const std::string expected_time = text_of(t0 + static_cast<std::int64_t>(k) / rate);
        const int expected_index = static_cast<int>(k % static_cast<std::size_t>(rate));
        if (sent.value != samples[k] || sent.time != expected_time || sent.index != expected_index)
            return ::testing::AssertionFailure()
                   << "sample " << k << " of the segment of " << start << ": " << samples[k]
                   << " at " << expected_time << " #" << expected_index << ", the board sent "
                   << sent.value << " at " << sent.time << " #" << sent.index;
    }
    return ::testing::AssertionSuccess();
}

class DatalogTest : public StationTest {
protected:
    fs::path datalog() const { return station() / "datalog"; }
    std::string day_file(const std::string& day, const char* kind, int channel) const {
        return (datalog() / (day + "." + kind + std::to_string(channel))).string();
    }
    static std::string day_of(const std::string& date) { return date.substr(5, 2) + date.substr(8, 2); }
    std::set<std::string> datalog_files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(datalog()))
            names.insert(entry.path().filename().string());
        return names;
    }
};

// --- A run killed mid-segment, restarted the same day ------------------------------

TEST_F(DatalogTest, KilledRunLeavesItsTrackIntactAndTheRestartAppendsANewSegment) {
    // Segments every 5 minutes; channels 1 and 2 logged, channel 3 sampled
    // but not logged.
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "FLH=", " 0"},
                   {1, "SPS=", " 8 "}, {1, "LOG=", " 1 "},
                   {2, "SPS=", " 7 "}, {2, "LOG=", " 1 "},
                   {3, "SPS=", " 7 "}, {4, "SPS=", " 0 "}});
    const std::string today = local_date_text();
    const std::string day = day_of(today);
    // Files the runs must leave alone: an older day, and a buffer of today
    // on the channel that is not logged.
    fs::create_directories(datalog());
    const std::string yesterday_index = "START :2001/01/01 00:00:00\r\nSPS   : 20\r\nPOSIT : 0\r\n";
    std::ofstream(datalog() / "0101.ll1", std::ios::binary) << yesterday_index;
    std::ofstream(datalog() / "0101.lg1", std::ios::binary) << "abcd";
    std::ofstream(datalog() / (day + ".ch3"), std::ios::binary) << "xyz";

    SimulatedBoard board(folder_, {"--family", "orda10", "--start", today + " 10:04:30",
                                   "--speed-factor", "10"});
    ASSERT_TRUE(board.ready());

    // First run: a segment from the start to 10:05:00, then one that is
    // killed when some of it is on disk.
    {
        Background program(TW_TERRAWAVE, headless_arguments(board.device()),
                           (folder_ / "tw1.out").string(), (folder_ / "tw1.err").string(),
                           {"TERRAWAVE_NO_CLOCK_SET=1"});
        std::string ignored;
        std::error_code error;
        const bool second_segment = wait_until(
            [&] {
                return parse_index(read_file(day_file(day, "ll", 1)), ignored).size() == 2 &&
                       fs::file_size(day_file(day, "ch", 1), error) > 0 && !error;
            },
            20s);
        ASSERT_TRUE(second_segment) << read_file((folder_ / "tw1.err").string());
        program.signal(SIGKILL);
        program.wait(5s);
    }
    struct Before {
        std::string index, track;
    };
    Before before[3];
    for (int k : {1, 2}) {
        SCOPED_TRACE("channel " + std::to_string(k));
        before[k] = {read_file(day_file(day, "ll", k)), read_file(day_file(day, "lg", k))};
        std::string problem;
        const auto groups = parse_index(before[k].index, problem);
        ASSERT_EQ(problem, "");
        ASSERT_EQ(groups.size(), 2u);
        EXPECT_FALSE(groups[0].stop || groups[1].stop);
        EXPECT_EQ(groups[1].start, today + " 10:05:00");
        // The first segment is whole in the track; the killed one only in
        // its buffer.
        EXPECT_EQ(groups[0].position, 0u);
        EXPECT_EQ(groups[1].position, before[k].track.size());
        EXPECT_GT(before[k].track.size(), 0u);
        EXPECT_TRUE(fs::exists(day_file(day, "ch", k)));
    }

    // Second run, the same day.
    const auto result = run_headless(board.device(), 3);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    board.stop();

    for (int k : {1, 2}) {
        SCOPED_TRACE("channel " + std::to_string(k));
        const std::string index = read_file(day_file(day, "ll", k));
        const std::string track = read_file(day_file(day, "lg", k));
        // What was there stays as it was; a START group and a STOP group
        // follow.
        ASSERT_TRUE(index.starts_with(before[k].index));
        ASSERT_TRUE(track.starts_with(before[k].track));
        std::string problem;
        const auto added = parse_index(index.substr(before[k].index.size()), problem);
        ASSERT_EQ(problem, "");
        ASSERT_EQ(added.size(), 1u);
        EXPECT_EQ(added[0].sps, k == 1 ? " 20" : " 10");
        // The leftover buffer was dropped, not put into the track: the new
        // segment starts where the killed one would have.
        EXPECT_EQ(added[0].position, before[k].track.size());
        ASSERT_TRUE(added[0].stop_position);
        EXPECT_EQ(*added[0].stop_position, track.size() - 1);
        EXPECT_GT(track.size(), before[k].track.size());
        EXPECT_FALSE(fs::exists(day_file(day, "ch", k)));

        const auto record = board.samples(k);
        EXPECT_TRUE(sent_in_order(record, find_sample(record, added[0].start, 0), added[0].start,
                                  k == 1 ? 20 : 10,
                                  decode_samples(track, added[0].position, track.size())));
    }
    EXPECT_EQ(read_file((datalog() / "0101.ll1").string()), yesterday_index);
    EXPECT_EQ(read_file((datalog() / "0101.lg1").string()), "abcd");
    EXPECT_EQ(read_file(day_file(day, "ch", 3)), "xyz");
    EXPECT_EQ(datalog_files(), (std::set<std::string>{"0101.ll1", "0101.lg1", day + ".ch3",
                                                      day + ".ll1", day + ".lg1", day + ".ll2",
                                                      day + ".lg2"}));
}

// --- Across midnight -------------------------------------------------------------------

TEST_F(DatalogTest, FourChannelsAcrossMidnightHoldEverySampleOnceInItsPlace) {
    // 50, 10 and 2 samples per second and one per minute, all logged, with
    // segments every 5 minutes. Channel 4 carries a slow sine so that each
    // minute's average is its own.
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "FLH=", " 0"},
                   {1, "SPS=", " 10 "}, {2, "SPS=", " 7 "}, {3, "SPS=", " 5 "}, {4, "SPS=", " 1 "},
                   {1, "LOG=", " 1 "}, {2, "LOG=", " 1 "}, {3, "LOG=", " 1 "}, {4, "LOG=", " 1 "}});
    // The board date is the PC's at START: the board starts today, shortly
    // before midnight, twenty times faster than real time.
    const std::string today = local_date_text();
    const std::string tomorrow = text_of(seconds_of(today + " 12:00:00") + 86400).substr(0, 10);
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", today + " 23:58:40",
                                   "--speed-factor", "20", "--signal", "4:sine:8000:0.004"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 8);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    board.stop();

    const std::string day1 = day_of(today), day2 = day_of(tomorrow);
    EXPECT_EQ(datalog_files().size(), 16u);
    std::optional<std::string> stop_time;
    const char* sps_text[] = {"", " 50", " 10", " 2", " .016666"};
    for (int k = 1; k <= 4; ++k) {
        SCOPED_TRACE("channel " + std::to_string(k));
        std::string problem;
        const auto before = parse_index(read_file(day_file(day1, "ll", k)), problem);
        const auto after = parse_index(read_file(day_file(day2, "ll", k)), problem);
        ASSERT_EQ(problem, "");
        const std::string track1 = read_file(day_file(day1, "lg", k));
        const std::string track2 = read_file(day_file(day2, "lg", k));
        EXPECT_FALSE(fs::exists(day_file(day1, "ch", k)));
        EXPECT_FALSE(fs::exists(day_file(day2, "ch", k)));

        // Index lines: one segment from the first boundary to midnight, one
        // from midnight to STOP.
        ASSERT_EQ(before.size(), 1u);
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(read_file(day_file(day1, "ll", k)),
                  "START :" + before[0].start + "\r\nSPS   :" + sps_text[k] + "\r\nPOSIT : 0\r\n");
        EXPECT_TRUE(before[0].start.starts_with(today + " 23:5")) << before[0].start;
        ASSERT_TRUE(after[0].stop);
        EXPECT_EQ(read_file(day_file(day2, "ll", k)),
                  "START :" + tomorrow + " 00:00:00\r\nSPS   :" + sps_text[k] +
                      "\r\nPOSIT : 0\r\nSTOP  :" + *after[0].stop + "\r\nPOSIT : " +
                      std::to_string(track2.empty() ? 0 : track2.size() - 1) + "\r\n");
        if (!stop_time) stop_time = after[0].stop;
        EXPECT_EQ(after[0].stop, stop_time);  // one STOP for all channels

        const auto record = board.samples(k);
        const auto samples1 = decode_samples(track1, 0, track1.size());
        const auto samples2 = decode_samples(track2, 0, track2.size());
        if (k < 4) {
            const int rate = k == 1 ? 50 : k == 2 ? 10 : 2;
            // Before midnight: from the first boundary on, every sample up to
            // the last of 23:59:59.
            const std::size_t first = find_sample(record, before[0].start, 0);
            EXPECT_TRUE(sent_in_order(record, first, before[0].start, rate, samples1));
            EXPECT_EQ(samples1.size() % static_cast<std::size_t>(rate), 0u);
            // After midnight: the next one on, up to STOP.
            const std::size_t midnight = find_sample(record, tomorrow + " 00:00:00", 0);
            ASSERT_NE(first, std::string::npos);
            EXPECT_EQ(midnight, first + samples1.size());
            EXPECT_TRUE(sent_in_order(record, midnight, tomorrow + " 00:00:00", rate, samples2));
            EXPECT_GT(samples2.size(), static_cast<std::size_t>(40 * rate));
            // What the board sent after the last logged sample was sent at
            // the STOP second or later (on its way when the board stopped).
            for (std::size_t i = midnight + samples2.size(); i < record.size(); ++i)
                ASSERT_GE(record[i].time, *stop_time) << i;
        } else {
            // One per minute: the board sends 2 per second, the program logs
            // the rounded mean of each 120. The first mean of the run may
            // have begun before START's first boundary: find where the
            // logged ones begin.
            std::vector<int> logged = samples1;
            logged.insert(logged.end(), samples2.begin(), samples2.end());
            ASSERT_GE(logged.size(), 1u);
            auto mean_from = [&](std::size_t at) {
                double sum = 0;
                for (std::size_t i = at; i < at + 120; ++i) sum += record[i].value;
                return static_cast<int>(std::lround(sum / 120));
            };
            std::vector<std::size_t> starts;
            for (std::size_t at = 0; at + 120 * logged.size() <= record.size(); ++at) {
                bool all = true;
                for (std::size_t j = 0; j < logged.size() && all; ++j)
                    all = mean_from(at + 120 * j) == logged[j];
                if (all) starts.push_back(at);
            }
            ASSERT_EQ(starts.size(), 1u) << "the logged means were not found once in what was sent";
            // Each mean was logged in the day of its last board sample.
            for (std::size_t j = 0; j < logged.size(); ++j) {
                const std::string& last = record[starts[0] + 120 * j + 119].time;
                EXPECT_EQ(last.substr(0, 10), j < samples1.size() ? today : tomorrow) << j;
            }
        }
    }
    EXPECT_EQ(result.err.find("error:"), std::string::npos) << result.err;
}

}  // namespace
