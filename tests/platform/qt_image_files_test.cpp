#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_image_files.h"

#include "fakes/test_files.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tw::platform {
namespace {

namespace fs = std::filesystem;

class QtImageFilesTest : public ::testing::Test {
protected:
    // A 200 x 100 picture in coordinates 0..1000 by +100..-100: a light blue
    // band 10 pixels high around the zero line (JPEG smears a one-pixel
    // line), a yellow box at the right and a label.
    std::unique_ptr<Canvas> drawn_picture() {
        auto picture = files_.create(200, 100);
        picture->set_scale(0, 100, 1000, -100);
        picture->clear(colors::white);
        picture->fill_box(0, 10, 1000, -10, colors::light_blue);
        picture->fill_box(900, 100, 1000, -100, colors::yellow);
        picture->text(10, 90, "00", colors::black);
        return picture;
    }

    tw::testing::TestFolder test_folder_;
    const fs::path folder_ = test_folder_.path();
    QtImageFiles files_;
};

TEST_F(QtImageFilesTest, EveryFormatReadsBackWithItsSizeAndTrace) {
    const auto picture = drawn_picture();
    struct Case {
        ImageFormat format;
        int quality;
        const char* name;
        int tolerance;
    };
    for (const Case c : {Case{ImageFormat::bmp, 0, "drum_1.BMP", 0},
                         Case{ImageFormat::gif, 0, "drum_1.GIF", 0},
                         Case{ImageFormat::jpeg, 40, "drum_40.JPG", 90},
                         Case{ImageFormat::jpeg, 75, "drum_75.JPG", 70},
                         Case{ImageFormat::jpeg, 90, "drum_90.JPG", 60}}) {
        SCOPED_TRACE(c.name);
        std::string error;
        ASSERT_TRUE(files_.save(*picture, folder_ / c.name, c.format, c.quality, &error)) << error;
        auto loaded = files_.create(1, 1);
        ASSERT_TRUE(files_.load(*loaded, folder_ / c.name, &error)) << error;
        const QImage& image = dynamic_cast<QtCanvas&>(*loaded).image();
        EXPECT_EQ(image.width(), 200);
        EXPECT_EQ(image.height(), 100);
        auto near = [&](QRgb pixel, int r, int g, int b) {
            return std::abs(qRed(pixel) - r) <= c.tolerance &&
                   std::abs(qGreen(pixel) - g) <= c.tolerance &&
                   std::abs(qBlue(pixel) - b) <= c.tolerance;
        };
        EXPECT_TRUE(near(image.pixel(50, 50), 0, 0, 255)) << std::hex << image.pixel(50, 50);
        EXPECT_TRUE(near(image.pixel(190, 10), 255, 255, 0));
        EXPECT_TRUE(near(image.pixel(50, 20), 255, 255, 255));
    }
    // Nothing but the pictures themselves is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 5);
}

TEST_F(QtImageFilesTest, GifOfManyColoursKeepsItsSize) {
    auto picture = files_.create(64, 64);
    picture->set_scale(0, 0, 64, 64);
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 64; ++y)
            picture->fill_box(x, y, x, y,
                              Color::rgb(static_cast<std::uint8_t>(x * 4),
                                         static_cast<std::uint8_t>(y * 4), 128));
    std::string error;
    ASSERT_TRUE(files_.save(*picture, folder_ / "jtf.GIF", ImageFormat::gif, 0, &error)) << error;
    const QImage image(QString::fromStdString((folder_ / "jtf.GIF").string()));
    EXPECT_EQ(image.size(), QSize(64, 64));
    EXPECT_NEAR(qRed(image.pixel(60, 0)), 240, 24);
}

TEST_F(QtImageFilesTest, FailedSaveAndDamagedLoadLeaveThingsAsTheyWere) {
    const auto picture = drawn_picture();
    std::string error;
    EXPECT_FALSE(files_.save(*picture, folder_ / "gone" / "drum_1.BMP", ImageFormat::bmp, 0, &error));
    EXPECT_NE(error.find("gone/drum_1.BMP"), std::string::npos) << error;

    std::ofstream(folder_ / "drum_2.BMP", std::ios::binary) << "BM\x10\x00";
    auto target = files_.create(30, 20);
    error.clear();
    EXPECT_FALSE(files_.load(*target, folder_ / "drum_2.BMP", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(files_.load(*target, folder_ / "missing.BMP", &error));
    EXPECT_EQ(target->pixel_width(), 30);
    EXPECT_EQ(target->pixel_height(), 20);
}

}  // namespace
}  // namespace tw::platform
