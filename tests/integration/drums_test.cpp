// The drum drawn and saved by the real program, headless, against the
// simulator across midnight: the old day archived with its last row, the
// new day's picture and state. The picture formats are the drum tests'
// (tests/display) and the picture files' (tests/platform).

#include "simulated_station.h"

#include <QImage>

#include <set>

namespace tw::integration {
namespace {

class DrumsTest : public StationTest {
protected:
    fs::path drums() const { return station() / "drums"; }
    std::set<std::string> drum_files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(drums())) names.insert(entry.path().filename().string());
        return names;
    }
    // Light blue trace pixels in a part of a picture (the grid's quarter
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

TEST_F(DrumsTest, AcrossMidnightTheOldDayIsArchivedWithItsLastRowAndTheNewDayBegins) {
    // Channel 1 at 50 samples per second with its drum, saved every 5 minutes.
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "BMP=", " 0"}, {0, "HRW=", " 3"},
                   {0, "DRF=", " 0"}, {1, "SPS=", " 10 "}, {1, "DRM=", " 1 "}, {1, "DRS=", " 2 "},
                   {2, "SPS=", " 0 "}, {3, "SPS=", " 0 "}, {4, "SPS=", " 0 "}});
    pc_start_ = "2021/06/14 23:56:00";
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", pc_start_, "--speed-factor", "30",
                                   "--signal", "1:sine:3000:0.02"});
    ASSERT_TRUE(board.ready());
    // Until the board has sent three minutes of the new day.
    const auto result = run_headless_until(board.device(),
                                           [&] { return board.last_record_time() >= "2021/06/15 00:03:00"; });
    ASSERT_FALSE(result.timed_out) << result.err;
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(drum_files(), (std::set<std::string>{"drum_1.BMP", "drum_1.dat", "drum_210614_1.BMP"}));
    EXPECT_EQ(read_file((drums() / "drum_1.dat").string()), "2021/06/15\r\n 3\r\n");

    const QImage old_day((drums() / "drum_210614_1.BMP").string().c_str());
    ASSERT_EQ(old_day.size(), QSize(3600, 800));
    // The last row (21:00 to 24:00) holds the trace from 23:56 (pixel 3520) on.
    EXPECT_GT(trace_pixels(old_day, QRect(3520, 700, 80, 100)), 50);
    EXPECT_EQ(trace_pixels(old_day, QRect(0, 0, 3510, 800)), 0);

    const QImage new_day((drums() / "drum_1.BMP").string().c_str());
    ASSERT_EQ(new_day.size(), QSize(3600, 800));
    EXPECT_GT(trace_pixels(new_day, QRect(0, 0, 60, 100)), 50);  // from 00:00 in row 0
    EXPECT_EQ(trace_pixels(new_day, QRect(0, 100, 3600, 700)), 0);
}

}  // namespace
}  // namespace tw::integration
