#include "ui/review_window.h"

#include "config/time_stamp.h"
#include "datalog/track_format.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"
#include "ui/panel_widgets.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace tw::ui::test {
namespace {

// Day tracks of channels 1 and 2 on 2003/02/03, 20 per second: 11:50:00 to
// 12:02:00, a pause, then 12:04:00 to 12:20:00 with a burst at 12:06.
void write_tracks(const std::filesystem::path& datalog) {
    std::filesystem::create_directories(datalog);
    for (int channel = 1; channel <= 2; ++channel) {
        std::string index, track;
        for (const auto& [start, minutes] : {std::pair{"2003/02/03 11:50:00", 12}, {"2003/02/03 12:04:00", 16}}) {
            index += datalog::index_start_group(start, 20, track.size());
            const auto t0 = *config::stamp_seconds(start);
            for (int k = 0; k < minutes * 1200; ++k) {
                const double t = static_cast<double>(t0 % 86400) + k / 20.0;
                const double burst = std::abs(t - 43560 - 20) < 20 ? 9000 * std::exp(-std::abs(t - 43570) / 6) : 0;
                const double v = 600 * std::sin(t * 0.9 * channel) + 250 * std::sin(t * 7.3) +
                                 burst * std::sin(t * 11);
                std::uint8_t bytes[2];
                datalog::encode_track_sample(static_cast<std::int32_t>(v), 2, bytes);
                track.append(reinterpret_cast<char*>(bytes), 2);
            }
        }
        index += datalog::index_stop_group("2003/02/03 12:20:00", track.size());
        std::ofstream(datalog / ("0203.ll" + std::to_string(channel)), std::ios::binary) << index;
        std::ofstream(datalog / ("0203.lg" + std::to_string(channel)), std::ios::binary) << track;
    }
}

// Pixels of the trace colour in the replay picture.
int trace_pixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, y) == palette_color(1);
    return count;
}

class ReviewWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_.clock.set(2003, 2, 3, 15, 0, 0);
        auto& g = s_.station->settings.general;
        g.ad_type = 0, g.review_path = s_.folder.string(), g.event_format = 1;
        g.review_chart_speed = 50, g.review_rows = 6, g.review_y_zoom = 40;
        for (auto& ch : s_.station->settings.channels) ch.file_extension = "z";
        s_.station->settings.channel(2).file_extension = "n";
        write_tracks(s_.folder / "datalog");
        std::filesystem::create_directories(s_.station->recorder.events_folder());
        main_ = open_main_window(s_);
        QTest::mouseClick(child<QPushButton>(*main_, "ch_review"), Qt::LeftButton);
        window_ = main_->review_window();
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }
    QString text(const char* name) { return text_of(*window_, name); }
    void enter(const char* name, const QString& typed) { type_into(*window_, name, typed); }
    void click(const char* name) { test::click(*window_, name); }
    QImage replay() { return child<ChartView>(*window_, "replay")->canvas().image(); }

    UiStation s_;
    std::unique_ptr<MainWindow> main_;
    ReviewWindow* window_ = nullptr;
};

TEST_F(ReviewWindowTest, ViewPagesClickAndExtractTwoChannels) {
    EXPECT_EQ(text("startviewdate"), "2003/02/03");
    EXPECT_EQ(text("startviewtime"), "00:00:00");
    enter("startviewtime", "11h58");
    EXPECT_EQ(text("startviewtime"), "11:58:00");
    click("ok_view");
    EXPECT_EQ(text("beg_time"), "11:58:00");
    EXPECT_EQ(text("end_time"), "12:03:00");
    EXPECT_EQ(text("viewfile"), "Replay of: 0203.lg1");
    EXPECT_GT(trace_pixels(replay()), 2000);
    EXPECT_TRUE(save_picture(*window_, "review_view"));

    click("nextpage");
    EXPECT_EQ(text("beg_time"), "12:03:00");
    EXPECT_EQ(text("end_time"), "12:08:00");
    EXPECT_TRUE(save_picture(*window_, "review_next_page"));

    // A click on the last row, half way: 12:03:00 + 250 s + 25 s.
    auto* picture = child<ChartView>(*window_, "replay");
    const QPoint at(picture->width() / 2, picture->height() - 5);
    QMouseEvent move(QEvent::MouseMove, at, picture->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(picture, &move);
    EXPECT_EQ(text("cursor"), "12:07:35");
    QTest::mouseClick(picture, Qt::LeftButton, {}, at);
    EXPECT_EQ(text("startviewtime"), "12:07:35");
    EXPECT_TRUE(save_picture(*window_, "review_after_click"));
    click("prevpage");
    EXPECT_EQ(text("beg_time"), "12:02:35");
    EXPECT_TRUE(save_picture(*window_, "review_previous_page"));

    // Two channels ticked: both files, the pause in them as "0" lines.
    click("rewind");
    EXPECT_EQ(text("beg_time"), "11:58:00");
    child<QCheckBox>(*window_, "chk_extract1")->click();
    child<QCheckBox>(*window_, "chk_extract2")->click();
    EXPECT_EQ(s_.station->settings.general.extract_channel_mask, 3);
    enter("duration", "10");
    click("extract");
    EXPECT_TRUE(s_.dialogs.shown.empty());
    for (const char* name : {"030203.115800.z", "030203.115800.n"}) {
        const std::string file = s_.read_file(std::string("events/") + name);
        EXPECT_NE(file.find("Number of Samples: 12000\r\n"), std::string::npos) << name;
        EXPECT_NE(file.find("\r\n0\r\n"), std::string::npos) << name;
    }
    EXPECT_TRUE(child<QPushButton>(*window_, "extract")->isEnabled());
    EXPECT_TRUE(text("notice").contains("030203.115800.n, 12000 samples"));
}

TEST_F(ReviewWindowTest, DrumShowsTheSavedPictureOfTheDateWithoutTouchingTheLiveDrum) {
    s_.station->settings.general.drum_format = 0;  // BMP
    const auto drums = s_.folder / "drums";
    std::filesystem::create_directories(drums);
    std::ofstream(drums / "drum_1.dat", std::ios::binary) << "2003/02/03\r\n 3\r\n";
    QImage today(360, 80, QImage::Format_RGB32), before(300, 60, QImage::Format_RGB32);
    today.fill(Qt::white), before.fill(Qt::yellow);
    for (int x = 0; x < 360; ++x) today.setPixel(x, 40 + static_cast<int>(20 * std::sin(x / 9.0)), 0x0000FF);
    ASSERT_TRUE(today.save(QString::fromStdString((drums / "drum_1.BMP").string()), "BMP"));
    ASSERT_TRUE(before.save(QString::fromStdString((drums / "drum_030202_1.bmp").string()), "BMP"));
    const std::pair<const char*, QSize> cases[] = {{"2003/02/03", {360, 80}}, {"2003/02/02", {300, 60}}, {"2003/02/01", {}}};
    for (const auto& [date, size] : cases) {  // an empty size: no picture
        enter("startviewdate", date);
        click("cmd_drum");
        auto* view = window_->drum_picture_window(1);
        if (size.isEmpty()) {
            EXPECT_EQ(text("notice"), QString("No drum picture of channel 1 for ") + date + ".");
            continue;
        }
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->picture().size(), size) << date;
        EXPECT_EQ(view->windowTitle(), QString("Drum CH 1 - ") + date);
        EXPECT_TRUE(save_picture(*view, QString("review_drum_") + date[9]));
    }
    EXPECT_EQ(main_->drum_window(1), nullptr);  // no live drum window was made
    EXPECT_EQ(today.size(), QImage(QString::fromStdString((drums / "drum_1.BMP").string())).size());
}

}  // namespace
}  // namespace tw::ui::test
