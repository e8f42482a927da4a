// The texts of the day track files, and the purge of old days: one index a
// step, a whole day at a time, and nothing it cannot be sure of.

#include "datalog/track_format.h"
#include "datalog/track_purge.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace tw::datalog;

// The index lines of whole and empty tracks and the rates of 20 and one a
// minute are the golden index's and the tracks tests'.
TEST(TrackFormat, RatesBelowOneAOneByteTrackAndGarbledBoardDates) {
    EXPECT_EQ(sps_text(0.5) + sps_text(0.1), " .5 .1");  // no leading zero
    EXPECT_EQ(index_stop_group("2024/01/05 11:00:01", 1), "STOP  :2024/01/05 11:00:01\r\nPOSIT : 0\r\n");
    EXPECT_EQ(day_name_of("1999/12/31 23:59:59"), "1231");
    for (const char* bad : {"", "2024/01/05", "2024-01-05 10:07:00", "2024/13/05 10:07:00", "2024/01/00 10:07:00",
                            "2024/01/05 24:00:00", "2024/01/05 10:60:00", "2024/01/05 10:07:0x",
                            "2024/01/05 10:07:00 ", "\xff\xfe"})
        EXPECT_EQ(day_name_of(bad), "") << bad;
}

TEST(TrackPurge, DeletesWholeOldDaysWithinOnePassAndNothingElse) {
    const tw::testing::TestFolder root;
    const fs::path folder = root / "datalog";
    fs::create_directories(folder);
    const std::pair<std::string, std::string> days[] = {
        {"1205", "START :2023/12/05 10:00:00"},  // 31 days before 2024/01/05
        {"1207", "START :2023/12/07 00:00:00"},  // 29 days before
        {"1206", "START :2023/12/06 23:59:59"},  // the limit day itself
        {"0105", "START :2023/01/05 10:00:00"},  // last year's, named like today
        {"1101", "STOP  :2023/11/01 10:00:00"},  // no START line
        {"1102", "START :2023/13/02 10:00:00"},  // no real date
    };
    for (const auto& [day, first_line] : days)
        for (const char* kind : {".ll", ".ch", ".lg"})
            for (char k = '1'; k <= '4'; ++k) std::ofstream(folder / (day + kind + k)) << (kind[1] == 'l' ? first_line : "");
    // A link among the indexes is not read, nor what it points to deleted.
    std::ofstream(root / "outside.ll1") << "START :2020/01/01 00:00:00\r\n";
    fs::create_symlink(root / "outside.ll1", folder / "0101.ll1");
    std::ofstream(folder / "notes.txt") << "START :2020/01/01 00:00:00\r\n";

    TrackPurge purge(folder);
    std::vector<std::string> deleted;
    for (const auto& [today, keep] : std::vector<std::pair<std::string, int>>{{"", 1}, {"2024/02/30", 1}, {"2024/01/05", 30}}) {
        for (int i = 0; i < 25; ++i) {  // six days of four indexes and the link
            const auto step = purge.step(today, keep);
            EXPECT_TRUE(step.error.empty()) << step.error;
            if (!step.deleted_day.empty()) deleted.push_back(step.deleted_day);
        }
    }
    EXPECT_EQ(deleted, std::vector<std::string>{"1205"});
    std::multiset<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.insert(e.path().filename().string().substr(0, 4));
    EXPECT_EQ(left.count("1207"), 12u);
    EXPECT_EQ(left.size(), 5 * 12 + 2u);
    EXPECT_TRUE(fs::exists(root / "outside.ll1"));

    // Today's files stay whatever the number of days; fewer than one counts as one.
    std::ofstream(folder / "0104.ll1") << "START :2024/01/04 10:00:00";
    for (int i = 0; i < 30; ++i) purge.step("2024/01/05", -10);
    EXPECT_TRUE(fs::exists(folder / "0104.ll1") && fs::exists(folder / "0105.ll1"));
    EXPECT_FALSE(fs::exists(folder / "1207.ll1"));
}

}  // namespace
