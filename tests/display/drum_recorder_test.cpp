#include "display/drum_recorder.h"

#include "fakes/fake_platform.h"
#include "fakes/recording_canvas.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace tw::display {
namespace {

namespace fs = std::filesystem;
using fakes::RecordingCanvas;
using Kind = RecordingCanvas::Kind;

// Pictures kept in memory, with a file on disk for each so that the recorder finds them.
struct DiskImages : fakes::FakeImageFiles {
    bool save(const platform::Canvas& picture, const fs::path& file, platform::ImageFormat format,
              int quality, std::string* error) override {
        const bool ok = FakeImageFiles::save(picture, file, format, quality, error);
        if (ok) std::ofstream(file) << "picture";
        return ok;
    }
};

struct DrumFixture : ::testing::Test {
    tw::testing::TestFolder folder;
    fakes::FakeClock clock;
    fakes::FakeDialogs dialogs;
    DiskImages images;
    config::Settings settings;
    std::string date = "2021/06/14";
    double seconds = 0;
    bool time_base_ready = true;
    std::array<bool, 4> event_active{};
    supervision::EventList events{folder / "evtfile.dat", clock};
    std::unique_ptr<DrumRecorder> drums;

    DrumFixture() {
        settings.general.hours_per_row = 3;
        auto& c1 = settings.channel(1);
        c1.drum_enabled = 1, c1.sps_code = 10, c1.axis_code = 3;
        restart();
    }
    void restart() {
        drums = std::make_unique<DrumRecorder>(
            DrumContext{settings, &images, dialogs, events, date, seconds, time_base_ready, event_active, folder.path()});
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
    std::string state() const { return tw::testing::read_file(folder / "drum_1.dat"); }
    bool logged(const std::string& text) const { return events.read_lines().back().find(text) != std::string::npos; }
};

TEST(DrumFiles, GeometryFollowsTheHoursPerRowAndStateTextsReadBack) {
    const std::vector<int> geometries[] = {{3, 3, 8, 3600, 800}, {1, 3, 8, 3600, 800}, {9, 3, 8, 3600, 800},
                                           {8, 8, 3, 9600, 300}, {5, 5, 5, 6000, 500}};
    for (const auto& c : geometries) {
        const DrumGeometry g = drum_geometry(c[0]);
        EXPECT_EQ(std::vector<int>({c[0], g.hours_per_row, g.rows, g.pixel_width, g.pixel_height}), c);
    }
    EXPECT_EQ(format_drum_state({"2021/06/14", 3}), "2021/06/14\r\n 3\r\n");
    EXPECT_EQ(parse_drum_state("2021/06/14\r\n 3\r\n")->hours_per_row, 3);
    for (const char* damaged : {"", "2021/06/14\r\n", "2021/13/40\r\n 3\r\n", "2021/06/14\r\n x\r\n", "\x01\n\x02"})
        EXPECT_FALSE(parse_drum_state(damaged)) << damaged;
}

TEST_F(DrumFixture, FreshDrumHasItsGridAndLabelsAndEachSecondIsOneStrokeInItsRow) {
    settings.channel(1).drum_scale = 2;
    at(7, 30, 15, {100});
    EXPECT_EQ(picture().calls.front().kind, Kind::clear);
    const auto lines = picture().of_kind(Kind::line);  // hours black, quarters blue
    EXPECT_TRUE(lines[0].x1 == 0 && lines[0].color == platform::colors::black &&
                lines[1].x1 == 900 && lines[1].color == platform::colors::blue);
    const auto texts = picture().of_kind(Kind::text);  // 07: slot 1 at the top of row 2
    ASSERT_EQ(texts.size(), 24u);
    EXPECT_TRUE(texts[6].text == "07" && std::abs(texts[6].x1 - 3600) < 20 && std::abs(texts[6].y1 - 50000) < 1000);
    EXPECT_EQ(texts[23].text, "2021/06/14 Z");
    at(7, 30, 16, {10, -40, 25, 5});
    at(9, 0, 0, {7});
    // 07:30:15: row 2 (baseline 37500), x 5415, from the baseline; 07:30:16:
    // joined, then one stroke -80..50; 09:00:00: from the left of row 3 on its baseline.
    const double b2 = 37500, b3 = 12500;
    const std::vector<std::array<double, 4>> expected = {{5415, b2, 5415, b2 + 200}, {5415, b2 + 200, 5416, b2 + 20},
                                                         {5416, b2 - 80, 5416, b2 + 50}, {0, b3, 0, b3 + 14}};
    const auto t = trace();
    ASSERT_EQ(t.size(), expected.size());
    for (std::size_t i = 0; i < t.size(); ++i)
        EXPECT_EQ((std::array<double, 4>{t[i].x1, t[i].y1, t[i].x2, t[i].y2}), expected[i]) << i;
    event_active[0] = true;
    at(9, 0, 1);
    EXPECT_EQ(trace().back().color, platform::colors::light_red);
}

TEST_F(DrumFixture, RestartContinuesTheDayUnlessHoursDamageOrAnotherDaySayOtherwise) {
    at(9, 0, 0, {500});
    drums->stop_run(), restart(), at(14, 0, 0);  // same day, same hours: the morning's trace kept
    EXPECT_TRUE(trace().size() == 2 && trace().front().y2 == drum_geometry(3).baseline(3) + 500);

    const struct { const char* name; std::function<void()> change; std::string log; } cases[] = {
        {"hours", [&] { settings.general.hours_per_row = 4; }, ""},
        {"state", [&] { std::ofstream(folder / "drum_1.dat") << "garbage"; }, "drum_1.dat is damaged"},
        {"picture", [&] { fs::rename(folder / "drum_1.BMP", folder / "drum_1.bmp"); }, "drum_1.bmp"},
        {"day", [&] { date = "2021/06/15"; }, ""},  // the earlier day's picture becomes its archive
    };
    for (const auto& c : cases) {
        drums->stop_run(), c.change(), restart(), at(15, 0, 0);
        EXPECT_EQ(trace().size(), 1u) << c.name;
        EXPECT_TRUE(c.log.empty() || logged(c.log)) << c.name;
    }
    EXPECT_TRUE(fs::exists(folder / "drum_210614_1.BMP"));
    EXPECT_EQ(state(), "2021/06/15\r\n 4\r\n");
}

// The day change (archive, fresh drum, state) is the end-to-end drum run's.
TEST_F(DrumFixture, SavesEveryPeriodAFailureIsReportedOnceClearAsksAndStopSavesOnlyADrumDrawnThisRun) {
    at(8, 4, 0), images.save_count = 0;
    at(8, 5, 0), at(8, 5, 30), at(8, 9, 59, {300});
    EXPECT_EQ(images.save_count, 1);  // 5 minutes: once at 08:05
    images.fail_saves = true;
    at(8, 10, 0), at(8, 15, 0);
    EXPECT_EQ(images.save_count, 3);
    const auto lines = events.read_lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.find("Drum 1 not saved") != l.npos; }), 1);

    images.fail_saves = false;
    const std::size_t drawn = trace().size();
    dialogs.answers = {false, true};
    for (const std::size_t kept : {drawn + 1, std::size_t{1}}) {  // No: kept; Yes: a fresh picture at the next sample
        drums->clear_clicked(1);
        at(8, 15, kept == 1 ? 2 : 1);
        EXPECT_EQ(trace().size(), kept);
    }
    EXPECT_EQ(dialogs.shown.back().text, "Clear Drum image ?");
    drums->stop_run(), images.save_count = 0;
    drums->stop_run();  // nothing drawn since: nothing written over the saved picture
    time_base_ready = false, at(8, 20, 0);
    EXPECT_EQ(images.save_count, 0);
}

// Each drum format setting saves under its own extension, format and
// quality; a value out of the list saves BMP.
TEST_F(DrumFixture, EachFormatSettingSavesItsFileFormatAndQuality) {
    using platform::ImageFormat;
    const struct { int setting; const char* name; ImageFormat format; int quality; } cases[] = {
        {0, "drum_1.BMP", ImageFormat::bmp, 100}, {1, "drum_1.GIF", ImageFormat::gif, 100},
        {2, "drum_1.JPG", ImageFormat::jpeg, 40}, {3, "drum_1.JPG", ImageFormat::jpeg, 75},
        {4, "drum_1.JPG", ImageFormat::jpeg, 90}, {9, "drum_1.BMP", ImageFormat::bmp, 100}};
    for (const auto& c : cases) {
        images.files.clear();
        settings.general.drum_format = c.setting;
        restart(), at(8, 0, 0), drums->stop_run();
        ASSERT_EQ(images.files.count(folder / c.name), 1u) << c.setting;
        const auto& saved = images.files.at(folder / c.name);  // its size is the geometry's and the drum run's
        EXPECT_TRUE(saved.format == c.format && saved.quality == c.quality) << c.setting;
    }
}

}  // namespace
}  // namespace tw::display
