#include "display/spectrum.h"

#include "display/fourier.h"

#include "fakes/fake_platform.h"
#include "fakes/recording_canvas.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <numbers>
#include <random>

namespace tw::display {
namespace {

namespace fs = std::filesystem;
using fakes::RecordingCanvas;
using Kind = RecordingCanvas::Kind;
using platform::Rgb;

struct Arrays {
    explicit Arrays(std::size_t n) : re_in(n), im_in(n), re_out(n, -7), im_out(n, -7) {}
    FourierStatus run(long n, bool inverse = false, platform::Dialogs* dialogs = nullptr) {
        return fourier(n, re_in, im_in, re_out, im_out, inverse, dialogs);
    }
    std::vector<double> re_in, im_in, re_out, im_out;
};

TEST(Fourier, RefusesSizesThatAreNotPowersOfTwoWithTheMessageAndNoOutput) {
    for (const long n : {3L, 0L, 1L, 1000L}) {
        Arrays a(1024);
        fakes::FakeDialogs dialogs;
        EXPECT_EQ(a.run(n, false, &dialogs), FourierStatus::bad_size) << n;
        EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Error in procedure Fourier:\r\n NumSamples is " +
                                                               std::to_string(n) +
                                                               ", which is not a positive integer power of two. | Error!"});
        EXPECT_EQ(a.re_out, std::vector<double>(1024, -7)) << n;
    }
    Arrays short_arrays(64);
    EXPECT_EQ(short_arrays.run(128), FourierStatus::arrays_too_short);
    EXPECT_EQ(short_arrays.re_out, std::vector<double>(64, -7));
}

// Every output against the direct sum with the kernel e^(+i 2 pi k n / N),
// then back through the inverse; a constant among the inputs.
TEST(Fourier, MatchesTheDirectSumAndTheInverseGivesTheInputBack) {
    std::mt19937 random(12);
    std::uniform_real_distribution<double> value(-30000, 30000);
    for (const long n : {2L, 128L, 256L, 512L}) {
        Arrays a(static_cast<std::size_t>(n));
        const bool constant = n == 128;
        for (auto& v : a.re_in) v = constant ? 250 : value(random);
        for (auto& v : a.im_in) v = constant ? 0 : value(random);
        ASSERT_EQ(a.run(n), FourierStatus::ok);
        for (long k = 0; k < n; ++k) {
            std::complex<double> sum;
            for (long t = 0; t < n; ++t)
                sum += std::complex<double>(a.re_in[t], a.im_in[t]) *
                       std::polar(1.0, 2 * std::numbers::pi * double(k * t % n) / double(n));
            ASSERT_LT(std::abs(std::complex<double>(a.re_out[k], a.im_out[k]) - sum), 1e-6 * n * 30000) << n << " bin " << k;
        }
        Arrays back(static_cast<std::size_t>(n));
        back.re_in = a.re_out, back.im_in = a.im_out;
        ASSERT_EQ(back.run(n, true), FourierStatus::ok);
        for (long t = 0; t < n; ++t)
            EXPECT_LT(std::hypot(back.re_out[t] - a.re_in[t], back.im_out[t] - a.im_in[t]), 1e-7) << n;
    }
}

TEST(SpectrumBlocks, TransformsOnceTheFillExceedsTheSizeEvenAfterASwitchHalfWay) {
    SpectrumBlocks blocks;
    // 300 samples into a 512 block: the first 128 hold a sine of bin 8.
    for (int t = 0; t < 300; ++t)
        ASSERT_FALSE(blocks.add(2, 1000 * std::sin(2 * std::numbers::pi * 8 * t / 128), 512));
    ASSERT_TRUE(blocks.add(2, 0, 128));
    EXPECT_EQ(blocks.fill(2), 0);
    EXPECT_NEAR(blocks.power()[8], 250000, 1e-6);
    // A constant: every drawn bin has power 0; the 129th sample transforms.
    for (int t = 0; t < 128; ++t) ASSERT_FALSE(blocks.add(2, 777, 128));
    ASSERT_TRUE(blocks.add(2, 777, 128));
    for (int i = 1; i <= 64; ++i) EXPECT_NEAR(blocks.power()[std::size_t(i)], 0, 1e-9) << i;
}

TEST(Spectrum, JtfColourScale) {
    const struct { double power; Rgb rgb; } cases[] = {
        {2000, {255, 0, 0}}, {0, {0, 0, 0}},     {300, {0, 172, 255}}, {255, {0, 0, 255}},
        {256, {0, 128, 255}}, {600, {0, 255, 167}}, {800, {32, 255, 0}}, {1279, {255, 0, 0}},
        {-40, {0, 0, 0}},    {NAN, {0, 0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(jtf_color(c.power), c.rgb) << c.power;
}

// The spectrum of a station on fakes: 100 samples per second, channel 1 on,
// the board clock at 2024/03/05 12:34:10 (minute 754).
class SpectrumTest : public ::testing::Test {
protected:
    SpectrumTest() {
        fs::create_directories(folder / "drums");
        for (auto& ch : settings.channels) ch.sps_code = 11;
        settings.channel(1).fft_enabled = 1;
        spectrum.open_window = [this] { ++opened; };
        spectrum.close_window = [this] { ++closed; };
    }

    // A sine on bin 51 of a 512-point block at 100 samples per second.
    void sine(int channel, int n, double hz = 100.0 * 51 / 512, double sps = 100) {
        for (int i = 0; i < n; ++i, ++t)
            spectrum.take_sample(channel, static_cast<std::int32_t>(std::lround(
                                              1000 * std::sin(2 * std::numbers::pi * hz * t / sps))));
    }
    const RecordingCanvas& picture(SpectrumMode mode, int channel = 1) {
        return dynamic_cast<const RecordingCanvas&>(*spectrum.picture(channel, mode));
    }
    std::vector<std::string> labels() const {
        const auto& m = spectrum.model();
        return {m.fft_low, m.fft_mid, m.fft_high, m.fft_um, m.fft_top, m.fft_bottom, m.fft_um_y};
    }

    tw::testing::TestFolder folder;
    config::Settings settings;
    bool time_base_ready = true;
    double seconds_of_day = 45250;
    std::string board_date = "2024/03/05";
    fakes::FakeClock clock;
    supervision::EventList event_list{folder / "evtfile.dat", clock};
    fakes::FakeDialogs dialogs;
    fakes::FakeImageFiles images;
    SpectrumContext context{settings, time_base_ready, seconds_of_day, board_date, event_list,
                            dialogs,  &images,         folder / "drums"};
    Spectrum spectrum{context};
    int opened = 0, closed = 0;
    long t = 0;
};

TEST_F(SpectrumTest, FirstSampleOpensTheWindowAt512ClosedWhenNoChannelIsOnNoRateOrOffMidBlockDrawsNothing) {
    spectrum.set_fft_size(128);
    settings.channel(3).fft_enabled = 1;
    spectrum.take_sample(3, 5);
    EXPECT_TRUE(spectrum.is_open() && opened == 1 && spectrum.model().fft_size == 512);
    EXPECT_EQ(spectrum.model().fftch, "CH 3");
    spectrum.take_sample(1, 5);
    settings.channel(1).fft_enabled = 0, spectrum.take_sample(1, 5);
    EXPECT_EQ(closed, 0);
    settings.channel(3).fft_enabled = 0, spectrum.take_sample(2, 5);
    EXPECT_TRUE(!spectrum.is_open() && closed == 1 && opened == 1);

    // No rate, or a channel switched off while its block fills: nothing
    // drawn, and the block starts afresh.
    settings.channel(1).fft_enabled = 1;
    for (const int code : {0, 99}) {
        settings.channel(1).sps_code = code;
        sine(1, 2000);
        EXPECT_TRUE(spectrum.picture(1) == nullptr && spectrum.blocks().fill(1) == 0) << code;
    }
    settings.channel(1).sps_code = 11, sine(1, 300);
    settings.channel(1).fft_enabled = 0, sine(1, 1);
    settings.channel(1).fft_enabled = 1, sine(1, 512);
    EXPECT_EQ(spectrum.picture(1), nullptr);
    sine(1, 1);
    EXPECT_NE(spectrum.picture(1), nullptr);
}

TEST_F(SpectrumTest, ScopeAndSpectrogramShowTheSineAtItsFrequency) {
    time_base_ready = false;
    sine(1, 513);
    const auto& scope = picture(SpectrumMode::scope);
    std::vector<double> grid;
    RecordingCanvas::Call top{};
    for (const auto& call : scope.of_kind(Kind::line)) {
        if (call.style == platform::LineStyle::dotted) grid.push_back(call.x1);
        if (call.color == platform::colors::yellow && call.y2 > top.y2) top = call;
    }
    EXPECT_EQ(grid.size(), 50u);  // 0.195 Hz, 1.195 Hz, ...
    EXPECT_DOUBLE_EQ(top.x2, 100.0 * 51 / 512);  // the sine's bin, at its power
    EXPECT_NEAR(top.y2, 250000, 100);
    EXPECT_EQ(labels(), (std::vector<std::string>{"0", "25", "50", "Hz", "100", "0", "%"}));
    spectrum.set_magnify(true);
    sine(1, 513);
    EXPECT_EQ(labels(), (std::vector<std::string>{"0", "6.25", "12.5", "Hz", "100", "0", "%"}));
    EXPECT_EQ(scope.scale.right, 12.5);  // magnified: a quarter of the band
    EXPECT_TRUE(picture(SpectrumMode::jtf).of_kind(Kind::line).empty());  // no board clock yet

    // The spectrogram: a column at the board's minute, the marker 10 minutes on.
    time_base_ready = true;
    spectrum.set_magnify(false), spectrum.set_mode(SpectrumMode::jtf);
    sine(1, 513);
    const auto lines = picture(SpectrumMode::jtf).of_kind(Kind::line);
    ASSERT_EQ(lines.size(), 256u + 2);
    for (std::size_t i = 0; i < 256; ++i)
        EXPECT_TRUE(lines[i].x1 == 754 && lines[i].color.to_rgb() == (i == 50 ? Rgb{255, 0, 0} : Rgb{0, 0, 0})) << i;
    for (const std::size_t m : {256, 257})
        EXPECT_TRUE(lines[m].x1 == 508 + m && lines[m].color.to_rgb() == (Rgb{0, 0, 255})) << m;
    EXPECT_EQ(labels(), (std::vector<std::string>{"0", "720", "1440", "min.", "50", "0", "Hz"}));

    // One sample per second, 128-point blocks: a block covers the minutes
    // since the previous one.
    settings.channel(2).fft_enabled = 1, settings.channel(2).sps_code = 4;
    spectrum.set_fft_size(128);
    sine(2, 129, 0.1, 1), seconds_of_day += 129, sine(2, 129, 0.1, 1);
    const auto boxes = picture(SpectrumMode::jtf, 2).of_kind(Kind::box);
    ASSERT_EQ(boxes.size(), 64u);
    EXPECT_TRUE(boxes[0].x1 == 755 && boxes[0].x2 == 756);
}

TEST_F(SpectrumTest, NewDayKeepsTheFinishedDayRetriesAFailedSaveAndARestartContinuesTheDay) {
    settings.general.drum_format = 3, seconds_of_day = 86399;
    sine(1, 513);
    board_date = "2024/03/06", seconds_of_day = 10;
    images.fail_saves = true;
    sine(1, 1026);
    EXPECT_EQ(images.save_count, 1);
    seconds_of_day = 70, sine(1, 513);
    EXPECT_EQ(images.save_count, 2);
    const auto events = event_list.read_lines();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].substr(20), "Spectrogram image not saved: cannot write " +
                                        (folder / "drums" / "jtf_240305_1.JPG").string() +
                                        ": No space left on device");
    images.fail_saves = false, seconds_of_day = 130;
    sine(1, 513);
    const auto& saved = images.files.at(folder / "drums" / "jtf_240305_1.JPG");
    EXPECT_TRUE(saved.format == platform::ImageFormat::jpeg && saved.quality == 75);
    spectrum.stop_run();
    EXPECT_EQ(closed, 1);

    // A restart the same day continues the day's picture; a damaged one is
    // reported and a fresh picture begins.
    const fs::path today = folder / "drums" / "jtf_240306_1.JPG";
    const std::size_t before = images.files.at(today).calls.size();
    std::ofstream(today) << "picture";
    for (const bool damaged : {false, true}) {
        if (damaged) images.files.clear();
        Spectrum again{context};
        for (int i = 0; i < 513; ++i) again.take_sample(1, i % 7);
        const auto& jtf = dynamic_cast<const RecordingCanvas&>(*again.picture(1, SpectrumMode::jtf));
        EXPECT_EQ(jtf.calls.size(), (damaged ? 1 : before) + 256 + 2) << damaged;
    }
    EXPECT_EQ(event_list.read_lines().back().substr(20),
              "Spectrogram image not loaded: cannot load " + today.string() + ": No such file or directory");
}

}  // namespace
}  // namespace tw::display
