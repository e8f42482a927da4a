// Day tracks written by terrawave --headless from the simulated board: a
// run killed in the middle of a segment and restarted the same day, and a
// run across midnight with four channels at different rates and a drum. The
// tracks are read back through their indexes and compared with the samples
// the board sent (its record), and so is a minute cut out of them by
// terrawave --extract; the drum pictures are read back with Qt.

#include "datalog/track_check.h"
#include "simulated_station.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

using namespace tw::integration;
namespace check = tw::datalog::check;

class DatalogTest : public StationTest {
protected:
    fs::path file(const std::string& day, const char* kind, int channel) const {
        return station() / "datalog" / (day + "." + kind + std::to_string(channel));
    }
    std::vector<check::Segment> segments(const std::string& day, int channel, std::string& problem) const {
        return check::day_segments(file(day, "ll", channel), file(day, "lg", channel), problem);
    }
    std::uintmax_t size_of(const fs::path& path) const {
        std::error_code error;
        const auto size = fs::file_size(path, error);
        return error ? 0 : size;
    }
    std::set<std::string> files(const char* folder) const {
        std::set<std::string> names;
        for (const auto& path : files_in(station() / folder)) names.insert(path.filename().string());
        return names;
    }
    // Light blue trace pixels in a part of a drum picture (the grid's quarter
    // lines are blue too: keep them out of the area).
    static int trace_pixels(const QImage& image, const QRect& area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb p = image.pixel(x, y);
                n += qBlue(p) > 180 && qRed(p) < 110 && qGreen(p) < 110;
            }
        return n;
    }
};

TEST_F(DatalogTest, KilledRunLeavesItsTrackIntactAndTheRestartAppendsANewSegment) {
    // Segments every 5 minutes; channels 1 and 2 logged, channel 3 sampled
    // but not logged.
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "FLH=", " 0"}, {1, "SPS=", " 8 "},
                   {1, "LOG=", " 1 "}, {2, "SPS=", " 7 "}, {2, "LOG=", " 1 "}, {3, "SPS=", " 7 "},
                   {4, "SPS=", " 0 "}});
    // Files the runs must leave alone: an older day, and a buffer of the day
    // on the channel that is not logged.
    fs::create_directories(station() / "datalog");
    const std::string older_index = "START :2024/01/01 00:00:00\r\nSPS   : 20\r\nPOSIT : 0\r\n";
    std::ofstream(file("0101", "ll", 1), std::ios::binary) << older_index;
    std::ofstream(file("0101", "lg", 1), std::ios::binary) << "abcd";
    std::ofstream(file("0305", "ch", 3), std::ios::binary) << "xyz";

    pc_start_ = "2024/03/05 10:04:30";
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", pc_start_, "--speed-factor", "10"});
    ASSERT_TRUE(board.ready());
    std::string problem;
    // First run: a segment from the start to 10:05:00, then one that is
    // killed when some of it is in its buffer on disk.
    {
        Background program(TW_TERRAWAVE, headless_arguments(board.device()), (folder_ / "tw1.out").string(),
                           (folder_ / "tw1.err").string(), pc_clock_at(pc_start_));
        ASSERT_TRUE(wait_until([&] { return segments("0305", 1, problem).size() == 2 && size_of(file("0305", "ch", 1)); },
                               120s))
            << read_file((folder_ / "tw1.err").string());
        program.signal(SIGKILL);
        program.wait(10s);
    }
    std::string index_before[3], track_before[3];
    for (int k : {1, 2}) {
        SCOPED_TRACE("channel " + std::to_string(k));
        index_before[k] = read_file(file("0305", "ll", k).string());
        track_before[k] = read_file(file("0305", "lg", k).string());
        const auto killed = segments("0305", k, problem);
        ASSERT_EQ(problem, "");
        ASSERT_EQ(killed.size(), 2u);
        EXPECT_FALSE(killed[0].group.stop || killed[1].group.stop);
        EXPECT_EQ(killed[1].group.start, "2024/03/05 10:05:00");
        // The first segment is whole in the track; the killed one only in its buffer.
        EXPECT_EQ(killed[0].begin, 0u);
        EXPECT_EQ(killed[1].begin, track_before[k].size());
        EXPECT_GT(track_before[k].size(), 0u);
        EXPECT_TRUE(fs::exists(file("0305", "ch", k)));
    }

    // Second run, the same day, until the new segment has some of its buffer on disk.
    const auto result = run_headless_until(board.device(), [&] {
        return segments("0305", 1, problem).size() == 3 && size_of(file("0305", "ch", 1)) > 200;
    });
    ASSERT_FALSE(result.timed_out) << result.err;
    ASSERT_EQ(result.exit_status, 0) << result.err;
    board.stop();
    for (int k : {1, 2}) {
        SCOPED_TRACE("channel " + std::to_string(k));
        const std::string index = read_file(file("0305", "ll", k).string());
        const std::string track = read_file(file("0305", "lg", k).string());
        // What was there stays as it was; a START group and a STOP group follow.
        ASSERT_TRUE(index.starts_with(index_before[k]));
        ASSERT_TRUE(track.starts_with(track_before[k]));
        const auto all = segments("0305", k, problem);
        ASSERT_EQ(problem, "");
        ASSERT_EQ(all.size(), 3u);
        const check::Segment& added = all[2];
        EXPECT_EQ(added.group.sps, k == 1 ? " 20" : " 10");
        // The leftover buffer was dropped, not put into the track: the new
        // segment starts where the killed one would have, and ends at STOP.
        EXPECT_EQ(added.begin, track_before[k].size());
        ASSERT_TRUE(added.group.stop_position);
        EXPECT_EQ(*added.group.stop_position, track.size() - 1);
        EXPECT_GT(track.size(), track_before[k].size());
        EXPECT_FALSE(fs::exists(file("0305", "ch", k)));
        EXPECT_TRUE(sent_from_start(board.samples(k), added.group.start,
                                    check::decode_samples(track, added.begin, added.end, 2)));
    }
    EXPECT_EQ(read_file(file("0101", "ll", 1).string()), older_index);
    EXPECT_EQ(read_file(file("0101", "lg", 1).string()), "abcd");
    EXPECT_EQ(read_file(file("0305", "ch", 3).string()), "xyz");
    EXPECT_EQ(files("datalog"), (std::set<std::string>{"0101.ll1", "0101.lg1", "0305.ch3", "0305.ll1", "0305.lg1",
                                                      "0305.ll2", "0305.lg2"}));
}

TEST_F(DatalogTest, FourChannelsAcrossMidnightHoldEverySampleOnceInItsPlaceAndTheDrumIsArchived) {
    // 50, 10 and 2 samples per second and one per minute, all logged, with
    // segments every 5 minutes. Channel 4 carries a slow sine so that each
    // minute's average is its own; channel 1 has its drum, 3 hours a row,
    // saved as BMP every 5 minutes.
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "FLH=", " 0"}, {0, "FOU=", " 0"}, {0, "BMP=", " 0"}, {0, "HRW=", " 3"},
                   {0, "DRF=", " 0"}, {1, "SPS=", " 10 "}, {2, "SPS=", " 7 "}, {3, "SPS=", " 5 "}, {4, "SPS=", " 1 "},
                   {1, "LOG=", " 1 "}, {2, "LOG=", " 1 "}, {3, "LOG=", " 1 "}, {4, "LOG=", " 1 "}, {1, "DRM=", " 1 "},
                   {1, "DRS=", " 2 "}});
    // The board date is the PC's at START: the board starts shortly before
    // midnight, twenty times faster than real time.
    pc_start_ = "2024/03/05 23:58:40";
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", pc_start_, "--speed-factor", "20", "--signal",
                                   "1:sine:3000:0.02", "--signal", "4:sine:8000:0.004"});
    ASSERT_TRUE(board.ready());
    // Until a minute of the new day at 50 per second is in channel 1's buffer.
    const auto result = run_headless_until(board.device(), [&] { return size_of(file("0306", "ch", 1)) >= 6000; });
    ASSERT_FALSE(result.timed_out) << result.err;
    ASSERT_EQ(result.exit_status, 0) << result.err;
    board.stop();

    // The old day's drum archived with its last row (21:00 to 24:00), which
    // holds the trace from 23:58:40 (pixel 3573) on; the new day's from
    // 00:00 in row 0.
    EXPECT_EQ(files("drums"), (std::set<std::string>{"drum_1.BMP", "drum_1.dat", "drum_240305_1.BMP"}));
    EXPECT_EQ(read_file((station() / "drums" / "drum_1.dat").string()), "2024/03/06\r\n 3\r\n");
    const QImage old_day((station() / "drums" / "drum_240305_1.BMP").string().c_str());
    ASSERT_EQ(old_day.size(), QSize(3600, 800));
    EXPECT_GT(trace_pixels(old_day, QRect(3570, 700, 30, 100)), 20);
    EXPECT_EQ(trace_pixels(old_day, QRect(0, 0, 3565, 800)), 0);
    const QImage new_day((station() / "drums" / "drum_1.BMP").string().c_str());
    ASSERT_EQ(new_day.size(), QSize(3600, 800));
    EXPECT_GT(trace_pixels(new_day, QRect(0, 0, 20, 100)), 20);
    EXPECT_EQ(trace_pixels(new_day, QRect(0, 100, 3600, 700)), 0);

    EXPECT_EQ(files("datalog").size(), 16u);
    std::optional<std::string> stop_time;
    const char* sps_text[] = {"", " 50", " 10", " 2", " .016666"};
    std::string extract_from = "2024/03/05 23:59:30";
    std::vector<std::int32_t> means;  // channel 4's, of both days
    std::size_t means_before_midnight = 0;
    for (int k = 1; k <= 4; ++k) {
        SCOPED_TRACE("channel " + std::to_string(k));
        std::string problem;
        const auto before = segments("0305", k, problem), after = segments("0306", k, problem);
        ASSERT_EQ(problem, "");
        const std::string track2 = read_file(file("0306", "lg", k).string());
        for (const char* day : {"0305", "0306"}) EXPECT_FALSE(fs::exists(file(day, "ch", k)));
        // Index lines: one segment from the first boundary to midnight, one
        // from midnight to STOP.
        ASSERT_EQ(before.size(), 1u);
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(read_file(file("0305", "ll", k).string()),
                  "START :" + before[0].group.start + "\r\nSPS   :" + sps_text[k] + "\r\nPOSIT : 0\r\n");
        EXPECT_TRUE(before[0].group.start.starts_with("2024/03/05 23:5")) << before[0].group.start;
        extract_from = std::max(extract_from, before[0].group.start);
        ASSERT_TRUE(after[0].group.stop);
        EXPECT_EQ(read_file(file("0306", "ll", k).string()),
                  "START :2024/03/06 00:00:00\r\nSPS   :" + std::string(sps_text[k]) + "\r\nPOSIT : 0\r\nSTOP  :" +
                      *after[0].group.stop + "\r\nPOSIT : " +
                      std::to_string(track2.empty() ? 0 : track2.size() - 1) + "\r\n");
        if (!stop_time) stop_time = after[0].group.stop;
        EXPECT_EQ(after[0].group.stop, stop_time);  // one STOP for all channels

        const auto record = board.samples(k);
        const auto samples1 = check::decode_samples(read_file(file("0305", "lg", k).string()), before[0].begin,
                                                    before[0].end, 2);
        const auto samples2 = check::decode_samples(track2, 0, track2.size(), 2);
        if (k == 4) {
            means = samples1;
            means.insert(means.end(), samples2.begin(), samples2.end());
            means_before_midnight = samples1.size();
            continue;
        }
        const int rate = k == 1 ? 50 : k == 2 ? 10 : 2;
        // Before midnight: from the first boundary on, every sample up to
        // the last of 23:59:59; after it, the next one on up to STOP.
        EXPECT_TRUE(sent_from_start(record, before[0].group.start, samples1));
        EXPECT_EQ(samples1.size() % static_cast<std::size_t>(rate), 0u);
        EXPECT_EQ(check::seconds_of_stamp(before[0].group.start) + static_cast<std::int64_t>(samples1.size()) / rate,
                  check::seconds_of_stamp("2024/03/06 00:00:00"));
        EXPECT_TRUE(sent_from_start(record, "2024/03/06 00:00:00", samples2));
        EXPECT_GT(samples2.size(), static_cast<std::size_t>(40 * rate));
        // What the board sent after the last logged sample was sent at the
        // STOP second or later (on its way when the board stopped).
        const auto logged_last = std::find_if(record.begin(), record.end(), [&](const RecordedSample& s) {
            return s.time == "2024/03/06 00:00:00" && s.index == 0;
        }) + static_cast<std::ptrdiff_t>(samples2.size());
        for (auto it = logged_last; it < record.end(); ++it) ASSERT_GE(it->time, *stop_time);
    }
    // One per minute: the board sends 2 per second, the program logs the
    // rounded mean of each 120, in the day of the mean's last sample. The
    // first mean of the run may have begun before START's first boundary:
    // the logged means are found once in what was sent.
    const auto record = board.samples(4);
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at + 120 * means.size() <= record.size(); ++at) {
        bool all = true;
        for (std::size_t j = 0; j < means.size() && all; ++j) {
            double sum = 0;
            for (std::size_t i = at + 120 * j; i < at + 120 * (j + 1); ++i) sum += record[i].value;
            all = std::lround(sum / 120) == means[j];
        }
        if (all) starts.push_back(at);
    }
    ASSERT_EQ(starts.size(), 1u) << "the logged means were not found once in what was sent";
    for (std::size_t j = 0; j < means.size(); ++j)
        EXPECT_EQ(record[starts[0] + 120 * j + 119].time.substr(0, 10),
                  j < means_before_midnight ? "2024/03/05" : "2024/03/06") << j;
    EXPECT_EQ(result.err.find("error:"), std::string::npos) << result.err;

    // terrawave --extract cuts a minute across midnight out of these tracks,
    // left with the settings alone (as copied from the station): every line
    // is what the board sent at its time.
    for (const auto& entry : fs::directory_iterator(station()))
        if (entry.path().filename() != "terrawv.ini" && entry.path().filename() != "datalog") fs::remove_all(entry);
    const auto cut = run(TW_TERRAWAVE, {"--folder", station().string(), "--extract", extract_from, "--minutes", "1",
                                        "--channels", "2"}, 60s, pc_clock_at(pc_start_));
    ASSERT_EQ(cut.exit_status, 0) << cut.err;
    EXPECT_NE(cut.err.find("made the events folder " + (station() / "events").string()), std::string::npos)
        << cut.err;
    EXPECT_TRUE(fs::exists(station() / "numevt.dat"));
    const auto names = split_lines(cut.out);
    ASSERT_EQ(names.size(), 1u) << cut.out;
    const EventFileText extracted = read_event_file(names[0]);
    EXPECT_EQ(extracted.header.at("Start Time").substr(0, 19), extract_from);
    EXPECT_EQ(extracted.samples.size(), 600u);
    expect_board_samples(extracted, board.samples(2));
}

}  // namespace
