// Drums drawn and saved by the real program, headless, against the
// simulator: across midnight (the old day archived with its last row, the new
// day's picture and state), and in each picture format, read back.

#include "simulated_station.h"

#include <QImage>

#include <algorithm>
#include <set>

namespace tw::integration {
namespace {

// The PC clock of the program starts at a date of the test's choosing.
constexpr const char* faketime = "/usr/bin/faketime";

class DrumsTest : public StationTest {
protected:
    // Channel 1 at 50 samples per second with its drum, saved every 5 minutes.
    void drum_settings(const std::string& format) {
        edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "BMP=", " 0"}, {0, "HRW=", " 3"},
                       {0, "DRF=", " " + format}, {1, "SPS=", " 10 "}, {1, "DRM=", " 1 "}, {1, "DRS=", " 2 "},
                       {2, "SPS=", " 0 "}, {3, "SPS=", " 0 "}, {4, "SPS=", " 0 "}});
    }
    // The board and the program's PC clock start at `start` ("YYYY/MM/DD
    // HH:MM:SS"), the board thirty times faster than real time.
    RunResult run_drums(const std::string& start, int seconds) {
        SimulatedBoard board(folder_, {"--family", "orda10", "--start", start, "--speed-factor", "30",
                                       "--signal", "1:sine:3000:0.02"});
        EXPECT_TRUE(board.ready());
        std::string pc_start = start;
        std::replace(pc_start.begin(), pc_start.end(), '/', '-');
        std::vector<std::string> arguments = {"-f", "@" + pc_start, TW_TERRAWAVE};
        const auto more = headless_arguments(board.device(), {"--run-for", std::to_string(seconds)});
        arguments.insert(arguments.end(), more.begin(), more.end());
        return run(faketime, arguments, std::chrono::seconds(seconds + 60), {"TERRAWAVE_NO_CLOCK_SET=1"});
    }
    fs::path drums() const { return station() / "drums"; }
    std::set<std::string> drum_files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(drums())) names.insert(entry.path().filename().string());
        return names;
    }
    // Trace pixels in a part of a picture: light blue, or after JPEG has
    // smeared the one-pixel lines, clearly blue (so are the grid's quarter
    // lines: keep them out of the area).
    static int trace_pixels(const QImage& image, const QRect& area, bool smeared = false) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb p = image.pixel(x, y);
                n += smeared ? qBlue(p) - std::max(qRed(p), qGreen(p)) > 60
                             : qBlue(p) > 180 && qRed(p) < 110 && qGreen(p) < 110;
            }
        return n;
    }
};

TEST_F(DrumsTest, AcrossMidnightTheOldDayIsArchivedWithItsLastRowAndTheNewDayBegins) {
    ASSERT_TRUE(fs::exists(faketime)) << "faketime is needed (scripts/setup installs it)";
    drum_settings("0");
    const auto result = run_drums("2021/06/14 23:50:00", 28);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(drum_files(), (std::set<std::string>{"drum_1.BMP", "drum_1.dat", "drum_210614_1.BMP"}));
    EXPECT_EQ(read_file((drums() / "drum_1.dat").string()), "2021/06/15\r\n 3\r\n");

    const QImage old_day((drums() / "drum_210614_1.BMP").string().c_str());
    ASSERT_EQ(old_day.size(), QSize(3600, 800));
    // The last row (21:00 to 24:00) holds the trace from 23:50 (pixel 3400) on.
    EXPECT_GT(trace_pixels(old_day, QRect(3400, 700, 200, 100)), 100);
    EXPECT_EQ(trace_pixels(old_day, QRect(0, 0, 3390, 800)), 0);

    const QImage new_day((drums() / "drum_1.BMP").string().c_str());
    ASSERT_EQ(new_day.size(), QSize(3600, 800));
    EXPECT_GT(trace_pixels(new_day, QRect(0, 0, 60, 100)), 50);  // from 00:00 in row 0
    EXPECT_EQ(trace_pixels(new_day, QRect(0, 100, 3600, 700)), 0);
}

TEST_F(DrumsTest, EachPictureFormatReadsBackWithItsSizeAndTrace) {
    ASSERT_TRUE(fs::exists(faketime)) << "faketime is needed (scripts/setup installs it)";
    const struct { const char* setting; const char* file; } formats[] = {
        {"1", "drum_1.GIF"}, {"2", "drum_1.JPG"}, {"3", "drum_1.JPG"}, {"4", "drum_1.JPG"}};
    std::vector<std::uintmax_t> jpeg_sizes;
    for (const auto& f : formats) {
        SCOPED_TRACE(f.setting);
        fs::remove_all(station());
        fs::create_directories(station());
        drum_settings(f.setting);
        const auto result = run_drums("2021/06/14 12:00:00", 8);
        ASSERT_EQ(result.exit_status, 0) << result.err;
        EXPECT_EQ(drum_files(), (std::set<std::string>{f.file, "drum_1.dat"}));
        const QImage image((drums() / f.file).string().c_str());
        ASSERT_EQ(image.size(), QSize(3600, 800));
        // 12:00 is the start of row 4 (pixels 400 to 500).
        const bool jpeg = std::string(f.file).ends_with("JPG");
        EXPECT_GT(trace_pixels(image, QRect(0, 400, 130, 100), jpeg), 100);
        EXPECT_EQ(trace_pixels(image, QRect(0, 0, 290, 400), jpeg), 0);
        if (jpeg) jpeg_sizes.push_back(fs::file_size(drums() / f.file));
    }
    ASSERT_EQ(jpeg_sizes.size(), 3u);
    EXPECT_LT(jpeg_sizes[0], jpeg_sizes[1]);  // quality 40 < 75 < 90
    EXPECT_LT(jpeg_sizes[1], jpeg_sizes[2]);
}

}  // namespace
}  // namespace tw::integration
