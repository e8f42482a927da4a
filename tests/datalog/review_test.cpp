// Reading the day tracks back: the index and its damage, locating a time,
// the cut of event files (each line at its time, "0" where nothing was
// recorded) and the replay page, on real files in a temporary folder.

#include "datalog/review.h"

#include "config/time_stamp.h"
#include "datalog/track_check.h"
#include "datalog/track_format.h"
#include "fakes/fake_platform.h"
#include "fakes/recording_canvas.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace tw::datalog;
using tw::config::stamp_seconds;
using tw::fakes::RecordingCanvas;

// A recorded stretch: from `start` for `seconds` at `sps`; `stop` adds a STOP group.
struct Recorded {
    std::string start;
    double sps;
    int seconds;
    bool stop = false;
};

// The sample recorded at a time: its sample number of the day, so that every
// value tells where it belongs.
std::int32_t value_at(std::int64_t seconds, double sps, std::int64_t k) {
    return static_cast<std::int32_t>(((seconds % 86400) * static_cast<std::int64_t>(sps) + k) % 30000);
}

class ReviewTest : public ::testing::Test {
protected:
    ReviewTest() {
        for (const char* sub : {"datalog", "events"}) fs::create_directories(folder_ / sub);
        settings_.general.event_format = 1, settings_.channel(1).file_extension = "z1", settings_.sync_source_text = "DCF";
    }

    // Writes a day's track and index of channel 1 from its runs.
    void write_day(const std::string& mmdd, const std::vector<Recorded>& runs) {
        std::string index, track;
        for (const Recorded& run : runs) {
            index += index_start_group(run.start, run.sps, track.size());
            const std::int64_t t0 = *stamp_seconds(run.start);
            const int width = track_sample_width(settings_.general.ad_type);
            for (std::int64_t k = 0; k < static_cast<std::int64_t>(run.seconds * run.sps); ++k) {
                std::uint8_t bytes[4];
                encode_track_sample(value_at(t0, run.sps, k) * (width == 4 ? -4 : 1), width, bytes);
                track.append(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(width));
            }
            if (run.stop) index += index_stop_group(tw::config::stamp_text(t0 + run.seconds), track.size());
        }
        std::ofstream(folder_ / "datalog" / (mmdd + ".ll1"), std::ios::binary) << index;
        std::ofstream(folder_ / "datalog" / (mmdd + ".lg1"), std::ios::binary) << track;
    }
    ExtractionContext context() {
        return {settings_, folder_ / "datalog", folder_ / "events", folder_ / "numevt.dat", "NL", "ORDA V.1.80", nullptr, {}};
    }
    // The data lines of an event file.
    static std::vector<std::string> data_lines(const fs::path& file) {
        auto lines = tw::testing::read_lines(file);
        lines.erase(lines.begin(), std::find(lines.begin(), lines.end(), "Data:") + 1);
        return lines;
    }

    tw::testing::TestFolder folder_;
    tw::config::Settings settings_;
};

TEST(TrackIndex, ReadsSoundGroupsAndNamesEachDamagedOne) {
    const std::string good = "START :2003/02/03 10:00:00\r\nSPS   : 20\r\nPOSIT : 0\r\n";
    const std::string later = "START :2003/02/03 10:05:00\r\nSPS   : 20\r\nPOSIT : 12000\r\n";
    const std::string stop = "STOP  :2003/02/03 10:07:00\r\nPOSIT : 16799\r\n";
    struct Case {
        std::string text;
        std::size_t groups;
        std::string problem;  // part of the one problem named; "" for none
    } cases[] = {
        {"START :03/02/2003 10:00:00\nSPS   : .5\nPOSIT : 0\n", 1, ""},  // day first, LF ends
        {good + later + "STOP  :2003/02/03 10:07:00\r\nPOSIT : 167", 2, "line 7: the last line is cut"},
        {good + "START :2003/02/03 10:05:00\r\nSPS   : 20\r\nPOSIT : 12a00\r\n" + stop, 2, "no position"},
        {later + good + stop, 2, "lies before the group ahead"},
        {good + "garbage\r\n" + later, 2, "belongs to no group"},
        {"START :2003/02/31 10:00:00\r\nSPS   : 20\r\nPOSIT : 0\r\n" + later, 1, "no date and time"},
        {good + "START :2003/02/03 10:05:00\r\nSPS   : x\r\nPOSIT : 9\r\n" + later, 2, "no sampling rate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const IndexReading reading = read_track_index(c.text, "0203.ll1");
        EXPECT_EQ(reading.groups.size(), c.groups);
        ASSERT_EQ(reading.problems.size(), c.problem.empty() ? 0u : 1u);
        EXPECT_TRUE(c.problem.empty() || reading.problems[0].find(c.problem) != std::string::npos) << reading.problems[0];
    }
}

// Back-to-back segments are one run in which a time is found; the runs leave
// out what the track does not hold.
TEST(TrackIndex, BackToBackSegmentsAreOneRunAndWhatTheTrackLacksIsLeftOut) {
    const auto reading = read_track_index("START :2003/02/03 11:50:00\r\nSPS   : 20\r\nPOSIT : 0\r\n"
                                          "START :2003/02/03 12:00:00\r\nSPS   : 20\r\nPOSIT : 24000\r\n", "0203.ll1");
    std::vector<std::string> problems;
    const auto runs = recorded_runs(reading.groups, 40001, 2, "0203.lg1", problems);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].end, 40000u);
    EXPECT_EQ(problems.size(), 1u);  // the odd last byte
    // 12:00:30 lies 30 s into the second segment: byte 24000 + 30 x 20 x 2.
    const double noon = static_cast<double>(*stamp_seconds("2003/02/03 12:00:00"));
    const auto at = locate_time(runs, noon + 30, 2);
    EXPECT_TRUE(at.run && at.offset == 25200u && at.samples == (40000u - 25200u) / 2);
    const auto before = locate_time(runs, noon - 3600, 2);  // before the day's first START
    EXPECT_TRUE(!before.run && before.next_start == noon - 600);
    const auto far = read_track_index("START :2003/02/03 11:50:00\r\nSPS   : 20\r\nPOSIT : 90000\r\n", "x");
    problems.clear();
    EXPECT_TRUE(recorded_runs(far.groups, 40000, 2, "0203.lg1", problems).empty());
    EXPECT_NE(problems.at(0).find("past the end"), std::string::npos);
}

TEST_F(ReviewTest, DayFirstDatesAreRewrittenOnceBesideTheIndexAndTheYearIsChecked) {
    const fs::path index = folder_ / "datalog" / "0203.ll1";
    std::ofstream(folder_ / "datalog" / "0203.lg1", std::ios::binary) << std::string(400, '\0');
    std::ofstream(index, std::ios::binary) << "START :03/02/2003 10:00:00\r\nSPS   : 20\r\nPOSIT : 0\r\n"
                                              "STOP  :03/02/2003 10:00:10\r\nPOSIT : 399\r\n";
    const DayTrack day = load_day_track(folder_ / "datalog", "2003/02/03", 1, 2);
    EXPECT_EQ(day.status, DayStatus::ok);
    EXPECT_TRUE(day.index_rewritten);
    EXPECT_EQ(check::read_file(index), "START :2003/02/03 10:00:00\r\nSPS   : 20\r\nPOSIT : 0\r\n"
                                       "STOP  :2003/02/03 10:00:10\r\nPOSIT : 399\r\n");
    EXPECT_FALSE(fs::exists(folder_ / "datalog" / "$0203.ll1"));
    EXPECT_FALSE(load_day_track(folder_ / "datalog", "2003/02/03", 1, 2).index_rewritten);
    EXPECT_EQ(load_day_track(folder_ / "datalog", "2004/02/03", 1, 2).status, DayStatus::year_mismatch);
}

TEST_F(ReviewTest, EveryLineLiesAtItsTimeAndNothingRecordedIsZero) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::vector<Recorded>>> days;
        std::string start;
        int minutes;
        std::string refusal;  // "" when a file is written
        std::uint64_t zero_lines;
    } cases[] = {
        {"before the day's first START", {{"0203", {{"2003/02/03 12:00:00", 20, 300, true}}}},
         "2003/02/03 11:58:00", 4, "", 2400},
        {"ending at midnight needs no next day", {{"0203", {{"2003/02/03 23:50:00", 10, 600}}}},
         "2003/02/03 23:58:00", 2, "", 0},
        {"next day without index", {{"0203", {{"2003/02/03 23:50:00", 10, 600}}}, {"0204", {}}},
         "2003/02/03 23:58:00", 4, "Data of track 1  missing. .LL1 not present.", 0},
        {"rate change", {{"0203", {{"2003/02/03 12:00:00", 20, 300}, {"2003/02/03 12:05:00", 50, 300}}}},
         "2003/02/03 12:03:00", 4, "Samples per seconds changed during data acquisition.\r\nImpossible to extract.", 0},
        {"another rate before the stretch", {{"0203", {{"2003/02/03 11:00:00", 50, 60, true}, {"2003/02/03 12:00:00", 20, 300}}}},
         "2003/02/03 12:01:00", 2, "", 0},
        {"another year", {{"0203", {{"2002/02/03 12:00:00", 20, 300}}}},
         "2003/02/03 12:01:00", 2, "Data not available.\r\nCheck the year.\r\nIs the year you inserted correct?", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder_ / "datalog");
        fs::create_directories(folder_ / "datalog");
        for (const auto& [mmdd, runs] : c.days) write_day(mmdd, runs);
        if (std::string(c.what) == "next day without index") fs::remove(folder_ / "datalog" / "0204.ll1");
        const ExtractionResult result = extract_channel(context(), 1, c.start, c.minutes);
        EXPECT_EQ(result.refusal, c.refusal);
        EXPECT_EQ(result.written, c.refusal.empty());
        if (!result.written) continue;
        EXPECT_EQ(result.zero_lines, c.zero_lines);
        const double sps = c.days[0].second.back().sps;
        const auto lines = data_lines(result.file);
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(c.minutes * 60 * sps));
        EXPECT_NE(check::read_file(result.file).find("Number of Samples: " + std::to_string(lines.size()) + "\r\n"),
                  std::string::npos);
        const std::int64_t s = *stamp_seconds(c.start);
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const double t = static_cast<double>(s) + static_cast<double>(k) / sps;
            std::string expected = "0";
            for (const auto& day : c.days)
                for (const Recorded& run : day.second) {
                    const auto t0 = static_cast<double>(*stamp_seconds(run.start));
                    if (t >= t0 && t < t0 + run.seconds)
                        expected = " " + std::to_string(value_at(static_cast<std::int64_t>(t0), run.sps,
                                                                 std::llround((t - t0) * run.sps)));
                }
            ASSERT_EQ(lines[k], expected) << "line " << k;
        }
        fs::remove(result.file);
    }
}

// 1 per second, a pause from 12:00:40 to 12:01:10, in each format; each cut
// of the same minute is a new file and the day's count goes on from the
// counter file's earlier day.
TEST_F(ReviewTest, CutFilesMatchTheirGoldenFilesNeverOverwriteEachOtherAndAreCounted) {
    settings_.general.location = "Monte Verde", settings_.general.coordinates = "14.39N 12.33E";
    settings_.general.elevation = "312";
    settings_.channel(1).axis_code = 3, settings_.channel(1).data_output_factor = 0.001;
    settings_.channel(1).mag_corr_terms = {".5", "-1.2", "20", "1", "0"};
    std::ofstream(folder_ / "numevt.dat", std::ios::binary) << "2003/02/02\r\n 5\r\n\r\n0\r\n\r\n0\r\n\r\n0\r\n";
    const struct { const char* golden; int format, ad_type; const char* name; } cases[] = {
        {"cut_psn1_16bit.z1", 0, 0, "030203.120030.z1"}, {"cut_psn2_18bit.z1", 1, 1, "030203.120030_2.z1"},
        {"cut_ascii_16bit.z1", 2, 0, "030203.120030_3.z1"}};
    for (const auto& c : cases) {
        settings_.general.event_format = c.format, settings_.general.ad_type = c.ad_type;
        write_day("0203", {{"2003/02/03 12:00:00", 1, 40, true}, {"2003/02/03 12:01:10", 1, 60}});
        const auto result = extract_channel(context(), 1, "2003/02/03 12:00:30", 1);
        ASSERT_TRUE(result.written) << result.refusal;
        EXPECT_EQ(result.file.filename(), c.name);
        const fs::path golden = fs::path(TW_TEST_DATA_DIR) / "datalog" / c.golden;
        if (std::getenv("TW_UPDATE_GOLDEN")) std::ofstream(golden, std::ios::binary) << check::read_file(result.file);
        EXPECT_EQ(check::read_file(result.file), check::read_file(golden)) << c.golden;
    }
    EXPECT_EQ(check::read_file(folder_ / "numevt.dat"), "2003/02/03\r\n 2\r\n\r\n 0\r\n\r\n 0\r\n\r\n 0\r\n");
}

TEST_F(ReviewTest, ADamagedGroupInsideARunLosesNothing) {
    write_day("0203", {{"2003/02/03 12:00:00", 20, 300}});
    const fs::path index = folder_ / "datalog" / "0203.ll1";
    std::ofstream(index, std::ios::binary | std::ios::app)
        << "START :2003/02/03 12:05:00\r\nSPS   : 20\r\nPOSIT : 1x2000\r\n";
    const auto result = extract_channel(context(), 1, "2003/02/03 12:04:00", 1);
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.zero_lines, 0u);
    ASSERT_EQ(result.notices.size(), 1u);
    EXPECT_NE(result.notices[0].find("0203.ll1 line 4"), std::string::npos) << result.notices[0];
}

TEST(ReviewFields, TypedDatesTimesAndDurationsAreBroughtIntoForm) {
    const struct { std::string typed, time, date, duration; } cases[] = {
        {"7.5", "07:05:00", "1907/05/01", "7"},         {"25:61:99", "23:59:59", "1925/12/31", "25"},
        {"3/2/3", "03:02:03", "1903/02/03", "3"},       {"2004-2-31", "23:02:31", "2004/02/29", "480"},
        {"", "00:00:00", "1900/01/01", "1"},            {"2099 13 0", "23:13:00", "2099/12/01", "480"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalize_review_time(c.typed) + " " + normalize_review_date(c.typed) + " " + normalize_duration(c.typed),
                  c.time + " " + c.date + " " + c.duration) << c.typed;
}

TEST_F(ReviewTest, APageDrawsEachPixelColumnsExtremesAndLeavesThePauseEmpty) {
    // 200 per second at chart speed 1: 250 s per row, 250 samples per pixel.
    write_day("0203", {{"2003/02/03 12:00:00", 200, 100, true}, {"2003/02/03 12:03:00", 200, 1000}});
    TrackDays days(folder_ / "datalog", 1, 2);
    const auto layout = replay_layout(1, 2, 200);
    EXPECT_EQ(layout.row_seconds, 250);
    RecordingCanvas canvas(1000, 200);
    const double start = static_cast<double>(*stamp_seconds("2003/02/03 12:00:00"));
    const PageDrawing page = draw_replay_page(canvas, days, start, layout, ReplayStyle{1, 30000});
    EXPECT_EQ(page.samples, (100u + 320u) * 200);
    std::vector<RecordingCanvas::Call> boxes;  // the pause 12:01:40 .. 12:03:00
    for (const auto& box : canvas.of_kind(RecordingCanvas::Kind::box))
        if (box.color != tw::platform::colors::white) boxes.push_back(box);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].x1 == 100 && boxes[0].x2 == 180) << boxes[0].x1 << ".." << boxes[0].x2;
    int trace = 0;
    double lowest = 1e9;
    for (const auto& line : canvas.of_kind(RecordingCanvas::Kind::line)) {
        if (line.color != tw::platform::Color::palette(1)) continue;
        ++trace;
        EXPECT_FALSE(line.y1 < 30000 && line.x1 > 100.1 && line.x1 < 180) << line.x1;  // the pause
        lowest = std::min({lowest, line.y1, line.y2});
    }
    EXPECT_LE(trace, 2 * 2 * 1000);
    // The largest sample of the page (19999) is drawn, a tenth of it above
    // row 0's centre at Y zoom 1.
    EXPECT_DOUBLE_EQ(lowest, 15000 - 1999.9);
}

// Pages, the pointer and a click are the Review window's test (tests/ui) over
// this model; here a view before the day's first START and the folder field.
TEST_F(ReviewTest, AViewBeforeTheFirstStartMovesThereAndTheFolderFieldTakesTheStation) {
    write_day("0203", {{"2003/02/03 11:50:00", 20, 1200}});
    tw::fakes::FakeClock clock;
    clock.set(2003, 2, 3, 15, 0, 0);
    tw::fakes::FakeDialogs dialogs;
    tw::fakes::FakeEventPump pump(clock);
    tw::supervision::ErrorReport errors(clock, pump);
    auto& g = settings_.general;
    g.review_path = folder_.path().string(), g.review_chart_speed = 50, g.review_rows = 6;
    Review review({settings_, clock, dialogs, pump, errors, folder_.path(), [this] { return context(); }, {}});
    RecordingCanvas canvas;
    review.set_pictures(&canvas, nullptr);
    review.open();
    EXPECT_EQ(review.model().startviewdate, "2003/02/03");
    review.ok_view();  // 00:00:00: moved to the first START, nothing drawn yet
    EXPECT_EQ(review.model().startviewtime + "|" + review.model().beg_time, "11:50:00|");
    EXPECT_TRUE(canvas.of_kind(RecordingCanvas::Kind::line).empty());
    review.ok_view();
    EXPECT_EQ(review.model().beg_time + "-" + review.model().end_time, "11:50:00-11:55:00");  // 6 rows of 50 s
    EXPECT_TRUE(dialogs.shown.empty());
    g.review_path = "/elsewhere";
    dialogs.answers = {true};
    review.logpath_double_clicked();  // "Set Standard TERRAWAVE path?" Yes
    EXPECT_EQ(review.model().logpath + "|" + g.review_path, folder_.path().string() + "|" + folder_.path().string());
}

}  // namespace
