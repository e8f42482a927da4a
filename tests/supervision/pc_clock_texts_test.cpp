#include "supervision/pc_clock_texts.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

namespace {

using tw::supervision::repaired_pc_date_time;

TEST(PcClockTexts, RepairsOneDigitHourAndDotSeparatorsOnTenCharacterDates) {
    const struct { const char* date; const char* time; bool midnight; const char* repaired; } cases[] = {
        {"2003/02/25", "7.05.09", false, "2003/02/25 07:05:09"},
        {"2003/02/25", "17.05.09", false, "2003/02/25 17:05:09"},
        {"2003/02/25", "17:05:09", false, "2003/02/25 17:05:09"},
        {"2003/02/25", "00:00:00", true, "2003/02/25 00:00:00"},
        // A short date moves the time: the separators are no longer at 14 and 17.
        {"12/31/00", "07.12.34", false, "12/31/00 07.12.34"},
    };
    for (const auto& c : cases) EXPECT_EQ(repaired_pc_date_time(c.date, c.time, c.midnight), c.repaired);
}

TEST(PcClockTexts, RefreshReadsClockAndMilliseconds) {
    tw::fakes::FakeClock clock;
    clock.set(2003, 2, 25, 7, 5, 9, 432);
    clock.time_pattern = "%-H.%M.%S";  // hour without leading zero, "." separators
    tw::supervision::PcClockTexts texts;
    refresh_pc_clock_texts(clock, texts);
    EXPECT_EQ(texts.date_time, "2003/02/25 07:05:09");
    EXPECT_EQ(texts.millis, ".432");
}

}  // namespace
