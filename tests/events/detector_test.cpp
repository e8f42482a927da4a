#include "events/detector.h"
#include "events/event_texts.h"
#include "events/start_checks.h"

#include <gtest/gtest.h>

#include <locale>
#include <tuple>

namespace tw::events {
namespace {

TEST(Detector, AveragesStayZeroUntilTheFirstZeroCrossingSeedsThem) {
    DetectorState s;
    s.sta_samples = 10, s.lta_samples = 100;
    for (const double x : {5.0, 40.0, 0.0, 20.0}) update_detector(s, x);
    EXPECT_TRUE(s.lta_sum == 0 && s.sta_average == 0 && s.sta_lta_ratio == 0);
    EXPECT_EQ(s.half_cycle_peak, 40);  // a sample of 0 is no crossing

    update_detector(s, -50);  // crossing: the -50 still counts to the ending half cycle
    EXPECT_EQ(std::tuple(s.half_cycle_amplitude, s.half_cycle_peak, s.max_amplitude), std::tuple(50.0, 0.0, 50.0));
    EXPECT_EQ(std::pair(s.lta_sum, s.sta_sum), std::pair(5000.0, 500.0));  // seeded as if the windows had held 50
    EXPECT_TRUE(s.lta_average == 0 && s.sta_lta_ratio == 0);  // the averages keep their value on the seeding sample

    update_detector(s, -10);
    EXPECT_DOUBLE_EQ(s.lta_average, (5000 + 10) / 100.0);
    EXPECT_DOUBLE_EQ(s.sta_average, (500 + 10) / 10.0);
    EXPECT_DOUBLE_EQ(s.sta_lta_ratio, 51.0 / 50.1);
    EXPECT_DOUBLE_EQ(s.max_ratio, s.sta_lta_ratio);

    update_detector(s, -200);  // running mean with weight 1/n
    EXPECT_DOUBLE_EQ(s.lta_average, 50.1 + (200 - 50.1) / 100);
    EXPECT_TRUE(s.max_ratio > 1 && s.half_cycle_peak == 200);

    DetectorState off;  // a channel switched off: no window, no division by it
    for (const double x : {5.0, -5.0, 5.0, -5.0}) update_detector(off, x);
    EXPECT_TRUE(off.lta_average == 0 && off.sta_lta_ratio == 0 && off.max_amplitude == 5);
}

TEST(EventTexts, FixedPatternsRoundHalfAwayFromZeroAtShownDigits) {
    const struct { double value; int digits, decimals; const char* text; } cases[] = {
        {2.25, 1, 1, "2.3"},       {0.15, 1, 1, "0.2"},        {-0.04, 1, 1, "0.0"},
        {12.0, 1, 1, "12.0"},      {300, 6, 0, "000300"},      {1234567, 6, 0, "1234567"},
        {-12.5, 4, 0, "-0013"},    {0.016666, 2, 0, "00"},     {1.0 / 0.0, 2, 0, "00"}};
    for (const auto& c : cases) EXPECT_EQ(fixed_number_text(c.value, c.digits, c.decimals), c.text) << c.value;
}

TEST(EventTexts, StartTimeAndFileNameAcrossDayAndYear) {
    const struct { const char* board; double minutes; const char* start; } cases[] = {
        {"2003/02/03 12:34:56", 2, "2003/02/03 12:32:57"}, {"2003/01/01 00:01:00", 2, "2002/12/31 23:59:01"},
        {"2004/03/01 00:00:10", 0.5, "2004/02/29 23:59:41"}, {"2003/02/03 12:34:56", 0, "2003/02/03 12:34:57"},
        {"garbled", 2, "garbled"}};
    for (const auto& c : cases) EXPECT_EQ(event_start_text(c.board, c.minutes), c.start) << c.board;
    EXPECT_FALSE(time_stamp_seconds("2003/02/29 00:00:00"));
    EXPECT_EQ(event_file_name("short", "z1"), ".z1");  // a whole stamp's is the golden files'
}

// A decimal comma and digit grouping in the program's locale change none of
// the texts.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Live values are truncated to three decimals.
TEST(EventTexts, TextsIgnoreADecimalCommaLocaleAndLiveValuesAreTruncated) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    EXPECT_EQ(event_summary("a.z1", "2003/02/03 12:32:57", 1234567, 4.26, 1234.4),
              "a.z1 2003/02/03 12:32:57 L:01234567 Max SLTA:4.3 Max Amplit:001234");
    DetectorState s;
    s.sta_average = 1234.5678, s.lta_average = 0.5, s.sta_lta_ratio = 24.6913999, s.max_amplitude = 1234.5678;
    const LiveValues v = live_values(s, -3.25);
    EXPECT_EQ((std::vector<std::string>{v.monstart[0], v.monstart[1], v.monstart[2], v.dc_average, v.max_noise}),
              (std::vector<std::string>{"1234.567", ".5", "24.691", "-00003.250", "01234.568"}));
    std::locale::global(previous);
}

// A mismatch of two extensions is the acquisition start's test (tests/app).
TEST(StartChecks, ExtensionsMustBeUsableInAFileName) {
    config::Settings s;
    const char* ext[4] = {"z1", "z2", "z3", "z4"};
    for (int k = 1; k <= 4; ++k) s.channel(k).file_extension = ext[k - 1];
    EXPECT_FALSE(check_file_extensions(s));
    for (const char* bad : {"a/b", "z\n"}) {
        s.channel(3).file_extension = bad;
        const auto refusal = check_file_extensions(s);
        ASSERT_TRUE(refusal) << bad;
        EXPECT_EQ(refusal->title + " " + refusal->text,
                  "Error. Invalid file extension for channel 3. Check [f.extens.] field and retry.");
    }
}

}  // namespace
}  // namespace tw::events
