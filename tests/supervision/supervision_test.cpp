// The event list file, the error report, the PC clock texts and the serial
// buffer load. What the windows show of them is the window tests' (tests/ui):
// the event list's lines as they are appended, and its clearing.

#include "supervision/buffer_load.h"
#include "supervision/error_report.h"
#include "supervision/event_list.h"
#include "supervision/pc_clock_texts.h"

#include "fakes/fake_platform.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace tw::supervision;
using tw::testing::read_file;

TEST(EventList, LinesAreStampedAndEndInCrLfAFileOverTheLimitRestartsAndAnUnwritableOneIsReported) {
    const tw::testing::TestFolder folder;
    const fs::path file = folder / "evtfile.dat";
    tw::fakes::FakeClock clock;
    clock.set(2003, 2, 3, 7, 5, 9);
    std::ofstream(file, std::ios::binary) << std::string(64001, 'x');
    EventList list(file, clock);
    ASSERT_TRUE(list.append("STOP"));
    EXPECT_EQ(read_file(file), "Event list exceeded 64k cleared.\r\n2003/02/03 07:05:09 STOP\r\n");
    // Exactly at the limit nothing is restarted.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(64000, 'x');
    ASSERT_TRUE(list.append("STOP"));
    EXPECT_EQ(fs::file_size(file), 64000u + 26u);

    EventList missing(folder / "missing" / "evtfile.dat", clock);
    EXPECT_FALSE(missing.append("START"));
    EXPECT_NE(missing.last_error().find("missing/evtfile.dat"), std::string::npos);
    EXPECT_TRUE(missing.read_lines().empty());
}

// Error 0 shows nothing but still waits, as every report does, for the next
// second of the clock; the count wraps after 99999.
TEST(ErrorReport, ComposesCountedLinesWaitsForTheNextSecondAndWrapsTheCount) {
    tw::fakes::FakeClock clock;
    clock.set(2003, 2, 3, 12, 34, 56, 200);
    clock.date_pattern = "%d/%m/%Y";
    tw::fakes::FakeEventPump pump{clock};
    ErrorReport report{clock, pump};
    report.report(0, 5, "START");
    EXPECT_TRUE(report.model().lines.empty() && !report.model().visible);
    EXPECT_EQ(std::pair(report.count(), clock.now().second), std::pair(1.0, 57));
    report.report(6, 304, "START");
    const auto& lines = report.model().lines;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Count: 2 / Error:6/Overflow / START /  304 / 12:34:57 03/02/2003");
    EXPECT_TRUE(report.model().visible);
    EXPECT_EQ(clock.now().second, 58);
    report.report(13, 7, "PANEL Load", "line 3: value 'x' of SPS is not a number");  // a detail says what failed
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("Error:13/Type mismatch: line 3: value 'x' of SPS"), std::string::npos);
    report.set_pause_enabled(false);
    pump.calls = 0;
    for (int i = 4; i <= 100000; ++i) report.report(0, 0, "x");  // the 100000th wraps
    EXPECT_EQ(report.count(), 0);
    EXPECT_EQ(pump.calls, 0);
}

TEST(PcClockTexts, RepairsOneDigitHourAndDotSeparatorsOnTenCharacterDates) {
    const struct { const char* date; const char* time; bool midnight; const char* repaired; } cases[] = {
        {"2003/02/25", "7.05.09", false, "2003/02/25 07:05:09"}, {"2003/02/25", "17.05.09", false, "2003/02/25 17:05:09"},
        {"2003/02/25", "17:05:09", false, "2003/02/25 17:05:09"}, {"2003/02/25", "00:00:00", true, "2003/02/25 00:00:00"},
        // A short date moves the time: the separators are no longer at 14 and 17.
        {"12/31/00", "07.12.34", false, "12/31/00 07.12.34"},
    };
    for (const auto& c : cases) EXPECT_EQ(repaired_pc_date_time(c.date, c.time, c.midnight), c.repaired);
    tw::fakes::FakeClock clock;
    clock.set(2003, 2, 25, 7, 5, 9, 432);
    clock.time_pattern = "%-H.%M.%S";  // hour without leading zero, "." separators
    PcClockTexts texts;
    refresh_pc_clock_texts(clock, texts);
    EXPECT_EQ(texts.date_time + texts.millis, "2003/02/25 07:05:09.432");
    clock.set(2003, 2, 25, 19, 5, 9, 432);
    clock.time_pattern = "%I:%M:%S %p";  // 12-hour, "07:05:09 PM"
    refresh_pc_clock_texts(clock, texts);
    EXPECT_EQ(texts.date_time + texts.millis, "2003/02/25 19:05:09.432");
}

TEST(BufferLoadTest, ChartsPauseAbove65PercentAndResumeBelow25UnlessTheUserChose) {
    // Bytes waiting of 1024; then no_charts, the bar's colour, discard, messages.
    struct Look {
        int waiting, no_charts, color;
        bool discard;
        std::vector<std::string_view> messages;
    };
    const std::vector<Look> looks = {
        {100, 0, 14, false, {}} /* grew since the last look */, {100, 0, 2, false, {}}, {665, 0, 14, false, {}},
        {666, 1, 12, false, {buffer_warning_text}}, {800, 1, 12, false, {}} /* the warning is given once */,
        {973, 1, 12, true, {buffer_overload_text}}, {256, 1, 2, false, {}} /* not below a quarter yet */,
        {255, 0, 2, false, {}}, {700, 1, 12, false, {buffer_warning_text}} /* a new episode */,
        {10, 1, 2, false, {}} /* the user ticked "Charts off" meanwhile */,
    };
    BufferLoad load;
    PanelModel panel;
    int no_charts = 0;
    for (const auto& look : looks) {
        if (look.waiting == 10) load.user_chose_charts();
        const auto out = load.update(look.waiting, 1024, no_charts, panel);
        EXPECT_EQ(std::tie(no_charts, panel.buffer_color, out.discard, out.messages),
                  std::tie(look.no_charts, look.color, look.discard, look.messages))
            << look.waiting;
    }
}

}  // namespace
