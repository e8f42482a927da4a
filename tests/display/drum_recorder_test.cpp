#include "display/drum_recorder.h"

#include "fakes/fake_platform.h"
#include "fakes/recording_canvas.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tw::display {
namespace {

namespace fs = std::filesystem;
using fakes::RecordingCanvas;
using Kind = RecordingCanvas::Kind;

// Pictures kept in memory, with a file on disk for each so that the
// recorder finds them by name.
struct DiskImages : fakes::FakeImageFiles {
    bool save(const platform::Canvas& picture, const fs::path& file, platform::ImageFormat format,
              int quality, std::string* error) override {
        if (!FakeImageFiles::save(picture, file, format, quality, error)) return false;
        std::ofstream(file) << "picture";
        return true;
    }
};

struct DrumFixture : ::testing::Test {
    fs::path folder = fs::temp_directory_path() /
                      ("tw_drum_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fakes::FakeClock clock;
    fakes::FakeDialogs dialogs;
    DiskImages images;
    config::Settings settings;
    std::string board_date = "2021/06/14";
    double seconds = 0;
    bool time_base_ready = true;
    std::array<bool, 4> event_active{};
    supervision::EventList events{folder / "evtfile.dat", clock};
    std::unique_ptr<DrumRecorder> drums;

    DrumFixture() {
        fs::remove_all(folder);
        fs::create_directories(folder);
        settings.general.hours_per_row = 3;
        settings.channel(1).drum_enabled = 1;
        settings.channel(1).sps_code = 10;
        settings.channel(1).axis_code = 3;
        restart();
    }
    ~DrumFixture() override { fs::remove_all(folder); }
    void restart() {
        drums = std::make_unique<DrumRecorder>(DrumContext{settings, &images, dialogs, events, board_date,
                                                           seconds, time_base_ready, event_active, folder});
    }
    void at(int h, int m, int s, std::vector<std::int32_t> values = {0}) {
        seconds = h * 3600 + m * 60 + s;
        for (const auto v : values) drums->drum_sample(1, v);
    }
    const RecordingCanvas& picture() const { return dynamic_cast<const RecordingCanvas&>(*drums->picture(1)); }
    std::vector<RecordingCanvas::Call> trace() const {
        std::vector<RecordingCanvas::Call> out;
        for (const auto& c : picture().of_kind(Kind::line))
            if (c.color == platform::colors::light_blue || c.color == platform::colors::light_red) out.push_back(c);
        return out;
    }
    std::string state() const {
        std::ifstream in(folder / "drum_1.dat", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST(DrumGeometry, RowsAndPixelsFollowTheHoursPerRowAndOddValuesActAsThree) {
    const struct { int setting, hours, rows; double length, height; int width, pixels_high; } cases[] = {
        {3, 3, 8, 10800, 25000, 3600, 800}, {1, 3, 8, 10800, 25000, 3600, 800},
        {9, 3, 8, 10800, 25000, 3600, 800}, {2, 2, 12, 7200, 200000.0 / 12, 2400, 1200},
        {8, 8, 3, 28800, 200000.0 / 3, 9600, 300}, {5, 5, 5, 18000, 40000, 6000, 500},
    };
    for (const auto& c : cases) {
        const DrumGeometry g = drum_geometry(c.setting);
        EXPECT_EQ(g.hours_per_row, c.hours) << c.setting;
        EXPECT_EQ(g.rows, c.rows) << c.setting;
        EXPECT_EQ(g.row_length, c.length) << c.setting;
        EXPECT_DOUBLE_EQ(g.row_height, c.height) << c.setting;
        EXPECT_EQ(g.pixel_width, c.width) << c.setting;
        EXPECT_EQ(g.pixel_height, c.pixels_high) << c.setting;
    }
    EXPECT_EQ(drum_geometry(3).baseline(2), 37500);
}

TEST(DrumFiles, StateTextAndFormatsReadBackAndDamageIsRefused) {
    EXPECT_EQ(format_drum_state({"2021/06/14", 3}), "2021/06/14\r\n 3\r\n");
    const auto state = parse_drum_state("2021/06/14\r\n 3\r\n");
    ASSERT_TRUE(state);
    EXPECT_EQ(state->hours_per_row, 3);
    for (const char* damaged : {"", "2021/06/14", "2021/06/14\r\n", "2021/13/40\r\n 3\r\n",
                                "2021/06/14\r\n x\r\n", "\x01\x02\x03\n\x04"})
        EXPECT_FALSE(parse_drum_state(damaged)) << damaged;
    const struct { int setting; platform::ImageFormat format; int quality; const char* extension; } formats[] = {
        {0, platform::ImageFormat::bmp, 100, ".BMP"}, {1, platform::ImageFormat::gif, 100, ".GIF"},
        {2, platform::ImageFormat::jpeg, 40, ".JPG"}, {3, platform::ImageFormat::jpeg, 75, ".JPG"},
        {4, platform::ImageFormat::jpeg, 90, ".JPG"},
    };
    for (const auto& f : formats) {
        EXPECT_EQ(drum_format(f.setting).format, f.format);
        EXPECT_EQ(drum_format(f.setting).quality, f.quality);
        EXPECT_EQ(drum_format(f.setting).extension, f.extension);
    }
}

TEST_F(DrumFixture, FreshDrumHasItsGridLabelsAndASampleAtItsSecondInItsRow) {
    at(7, 30, 15, {100});
    const auto& calls = picture().calls;
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().kind, Kind::clear);
    EXPECT_EQ(picture().pixel_width(), 3600);
    // Hour lines black, quarters blue, over the full height; labels 01..23.
    const auto lines = picture().of_kind(Kind::line);
    EXPECT_EQ(lines[0].x1, 0);
    EXPECT_EQ(lines[0].color, platform::colors::black);
    EXPECT_EQ(lines[1].x1, 900);
    EXPECT_EQ(lines[1].color, platform::colors::blue);
    EXPECT_EQ(lines[4].x1, 3600);
    const auto texts = picture().of_kind(Kind::text);
    ASSERT_EQ(texts.size(), 24u);
    EXPECT_EQ(texts[0].text, "01");
    EXPECT_EQ(texts[6].text, "07");
    EXPECT_NEAR(texts[6].x1, 3600, 20);             // hour 7: slot 1
    EXPECT_NEAR(texts[6].y1, 100000 - 2 * 25000, 1000);  // at the top of row 2
    EXPECT_EQ(texts[23].text, "2021/06/14 Z");
    // 07:30:15 at 3 hours per row: row 2 (baseline 37500), x 5415; the
    // first point starts on the baseline.
    const auto t = trace();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].x1, 5415);
    EXPECT_EQ(t[0].y1, 37500);
    EXPECT_EQ(t[0].x2, 5415);
    EXPECT_EQ(t[0].y2, 37600);
    EXPECT_EQ(state(), "2021/06/14\r\n 3\r\n");
    EXPECT_TRUE(images.files.count(folder / "drum_1.BMP"));
}

TEST_F(DrumFixture, SecondIsOneStrokeOverItsExtentAndANewRowStartsOnItsBaseline) {
    settings.channel(1).drum_scale = 2;
    at(2, 59, 58, {0});
    at(2, 59, 59, {10, -40, 25, 5});
    at(3, 0, 0, {7});  // next row
    const auto t = trace();
    ASSERT_EQ(t.size(), 4u);
    // 02:59:59: joined from the previous second, then one stroke -80..50.
    EXPECT_EQ(t[1].x1, 10798);
    EXPECT_EQ(t[1].x2, 10799);
    EXPECT_EQ(t[1].y2 - 87500, 20);
    EXPECT_EQ(t[2].x1, 10799);
    EXPECT_EQ(t[2].y1 - 87500, -80);
    EXPECT_EQ(t[2].y2 - 87500, 50);
    // 03:00:00: from the left edge of row 1 on its baseline.
    EXPECT_EQ(t[3].x1, 0);
    EXPECT_EQ(t[3].y1, 62500);
    EXPECT_EQ(t[3].y2, 62514);

    event_active[0] = true;  // recording: light red
    at(3, 0, 1, {0});
    EXPECT_EQ(trace().back().color, platform::colors::light_red);
}

TEST_F(DrumFixture, SavesEveryPeriodAndArchivesTheDayAtMidnight) {
    settings.general.bmp_update = 0;  // 5 minutes
    board_date = "2021/06/13";
    at(23, 54, 0);
    images.save_count = 0;
    at(23, 55, 0);
    at(23, 55, 30);  // once per period
    EXPECT_EQ(images.save_count, 1);
    at(23, 59, 59, {123});
    board_date = "2021/06/14";
    at(0, 0, 0);
    EXPECT_EQ(images.save_count, 3);  // the archive, then the fresh drum
    ASSERT_TRUE(images.files.count(folder / "drum_210613_1.BMP"));
    const auto& archived = images.files.at(folder / "drum_210613_1.BMP").calls;
    EXPECT_EQ(archived.back().y2, drum_geometry(3).baseline(7) + 123);  // the day's last second
    EXPECT_EQ(state(), "2021/06/14\r\n 3\r\n");
    EXPECT_EQ(picture().of_kind(Kind::text).back().text, "2021/06/14 Z");
    at(0, 7, 0);
    at(0, 10, 0);
    EXPECT_EQ(images.save_count, 4);
}

TEST_F(DrumFixture, RestartTheSameDayContinuesUnlessTheHoursPerRowChanged) {
    at(9, 0, 0, {500});
    drums->stop_run();
    const std::size_t drawn = picture().calls.size();
    for (const int hours : {3, 4}) {
        settings.general.hours_per_row = hours;
        restart();
        at(14, 0, 0);
        SCOPED_TRACE(hours);
        if (hours == 3) {
            EXPECT_GT(picture().calls.size(), drawn);  // the morning's trace kept
            EXPECT_EQ(trace().front().y2, drum_geometry(3).baseline(3) + 500);
        } else {
            EXPECT_EQ(trace().size(), 1u);
            EXPECT_EQ(state(), "2021/06/14\r\n 4\r\n");
        }
        drums->stop_run();
    }
}

TEST_F(DrumFixture, DamagedStateOrPictureAndAnotherDayStartFresh) {
    at(9, 0, 0, {500});
    drums->stop_run();
    std::ofstream(folder / "drum_1.dat") << "garbage";
    restart();
    at(10, 0, 0);
    EXPECT_EQ(trace().size(), 1u);
    ASSERT_FALSE(events.read_lines().empty());
    EXPECT_NE(events.read_lines().back().find("drum_1.dat is damaged"), std::string::npos);

    // A picture found under another case, but not readable: fresh too.
    drums->stop_run();
    fs::rename(folder / "drum_1.BMP", folder / "drum_1.bmp");
    restart();
    at(11, 0, 0);
    EXPECT_EQ(trace().size(), 1u);
    EXPECT_NE(events.read_lines().back().find("drum_1.bmp"), std::string::npos);

    // A picture of an earlier day becomes that day's archive.
    drums->stop_run();
    board_date = "2021/06/15";
    restart();
    at(1, 0, 0);
    EXPECT_TRUE(fs::exists(folder / "drum_210614_1.BMP"));
    EXPECT_EQ(state(), "2021/06/15\r\n 3\r\n");
}

TEST_F(DrumFixture, FailedSaveIsReportedOnceAndTriedAgainNextPeriod) {
    at(8, 1, 0);
    images.fail_saves = true;
    images.save_count = 0;
    at(8, 20, 0);
    at(8, 40, 0);
    EXPECT_EQ(images.save_count, 2);
    int reports = 0;
    for (const auto& line : events.read_lines()) reports += line.find("Drum 1 not saved") != std::string::npos;
    EXPECT_EQ(reports, 1);
    images.fail_saves = false;
    at(9, 0, 0);
    EXPECT_EQ(images.save_count, 3);
}

TEST_F(DrumFixture, ClearAsksAndStopSavesOnlyADrumDrawnThisRun) {
    at(8, 0, 0, {300});
    dialogs.answers = {false, true};
    drums->clear_clicked(1);
    at(8, 0, 1);
    EXPECT_EQ(trace().size(), 2u);  // No: kept
    drums->clear_clicked(1);
    EXPECT_EQ(dialogs.shown.back().text, "Clear Drum image ?");
    at(8, 0, 2);
    EXPECT_EQ(trace().size(), 1u);  // Yes: a fresh picture at the next sample

    drums->stop_run();
    images.save_count = 0;
    drums->stop_run();  // not drawn since: nothing written over the saved picture
    time_base_ready = false;
    at(8, 5, 0);  // no time base: no drum
    EXPECT_EQ(images.save_count, 0);
}

}  // namespace
}  // namespace tw::display
