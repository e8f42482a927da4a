// The purge of old days: one index a step, a whole day at a time, and
// nothing it cannot be sure of.

#include "datalog/track_purge.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

TEST(TrackPurgeTest, DeletesWholeOldDaysWithinOnePassAndNothingElse) {
    const fs::path root = fs::temp_directory_path() / "tw_track_purge";
    const fs::path folder = root / "datalog";
    fs::remove_all(root);
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
            for (char k = '1'; k <= '4'; ++k)
                std::ofstream(folder / (day + kind + k)) << (kind[1] == 'l' ? first_line : "");
    // A link among the indexes is not read, nor what it points to deleted.
    std::ofstream(root / "outside.ll1") << "START :2020/01/01 00:00:00\r\n";
    fs::create_symlink(root / "outside.ll1", folder / "0101.ll1");
    std::ofstream(folder / "notes.txt") << "START :2020/01/01 00:00:00\r\n";

    tw::datalog::TrackPurge purge(folder);
    std::vector<std::string> deleted;
    for (const auto& [today, keep] : std::vector<std::pair<std::string, int>>{
             {"", 1}, {"2024/02/30", 1}, {"2024/01/05", 30}}) {
        for (int i = 0; i < 25; ++i) {  // six days of four indexes and the link
            const auto step = purge.step(today, keep);
            EXPECT_TRUE(step.error.empty()) << step.error;
            if (!step.deleted_day.empty()) deleted.push_back(step.deleted_day);
        }
    }
    EXPECT_EQ(deleted, std::vector<std::string>{"1205"});
    std::multiset<std::string> left;
    for (const auto& e : fs::directory_iterator(folder))
        left.insert(e.path().filename().string().substr(0, 4));
    EXPECT_EQ(left.count("1207"), 12u);
    EXPECT_EQ(left.size(), 5 * 12 + 2u);
    EXPECT_TRUE(fs::exists(root / "outside.ll1"));

    // Today's files stay whatever the number of days; fewer than one counts as one.
    std::ofstream(folder / "0104.ll1") << "START :2024/01/04 10:00:00";
    for (int i = 0; i < 30; ++i) purge.step("2024/01/05", -10);
    EXPECT_TRUE(fs::exists(folder / "0104.ll1") && fs::exists(folder / "0105.ll1"));
    EXPECT_FALSE(fs::exists(folder / "1207.ll1"));
    fs::remove_all(root);
}

}  // namespace
