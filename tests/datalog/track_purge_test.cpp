// The purge of old days: one index a step, a whole day at a time, and
// nothing it cannot be sure of.

#include "datalog/track_purge.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;
using tw::datalog::TrackPurge;

class TrackPurgeTest : public ::testing::Test {
protected:
    TrackPurgeTest() {
        root_ = fs::temp_directory_path() /
                ("tw_purge_" + std::string(
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(folder());
    }
    ~TrackPurgeTest() override { fs::remove_all(root_); }
    fs::path folder() const { return root_ / "datalog"; }

    // The twelve files of a day; its indexes start with `first_line`.
    void make_day(const std::string& day, const std::string& first_line) {
        for (const char* kind : {".ll", ".ch", ".lg"})
            for (char k = '1'; k <= '4'; ++k) {
                std::ofstream out(folder() / (day + kind + k), std::ios::binary);
                if (std::string(kind) == ".ll") out << first_line << "\r\nSPS   : 20\r\n";
            }
    }
    std::set<std::string> days_left() const {
        std::set<std::string> days;
        for (const auto& e : fs::directory_iterator(folder()))
            days.insert(e.path().filename().string().substr(0, 4));
        return days;
    }
    std::size_t files_of(const std::string& day) const {
        std::size_t n = 0;
        for (const auto& e : fs::directory_iterator(folder()))
            n += e.path().filename().string().starts_with(day + ".");
        return n;
    }

    fs::path root_;
};

TEST_F(TrackPurgeTest, DeletesWholeOldDaysWithinOnePassAndNothingElse) {
    make_day("1205", "START :2023/12/05 10:00:00");  // 31 days before 2024/01/05
    make_day("1207", "START :2023/12/07 00:00:00");  // 29 days before
    make_day("1206", "START :2023/12/06 23:59:59");  // 30 days: the limit day itself
    make_day("0105", "START :2023/01/05 10:00:00");  // last year's, named like today
    make_day("1101", "STOP  :2023/11/01 10:00:00");  // no START line
    make_day("1102", "START :2023/13/02 10:00:00");  // no real date
    make_day("1103", "");                            // empty
    // A link among the indexes is not read, nor what it points to deleted.
    std::ofstream(root_ / "outside.ll1") << "START :2020/01/01 00:00:00\r\n";
    fs::create_symlink(root_ / "outside.ll1", folder() / "0101.ll1");
    std::ofstream(folder() / "notes.txt") << "START :2020/01/01 00:00:00\r\n";

    TrackPurge purge(folder());
    std::vector<std::string> deleted;
    auto step = [&] {
        const auto done = purge.step("2024/01/05", 30);
        EXPECT_TRUE(done.error.empty()) << done.error;
        if (!done.deleted_day.empty()) deleted.push_back(done.deleted_day);
    };
    step();
    const std::size_t indexes = purge.listing_size();
    EXPECT_EQ(indexes, 29u);  // seven days of four indexes and the link
    for (std::size_t i = 1; i < indexes; ++i) step();
    EXPECT_EQ(files_of("1205"), 0u);
    EXPECT_EQ(deleted, std::vector<std::string>{"1205"});
    EXPECT_EQ(days_left(),
              (std::set<std::string>{"0101", "0105", "1101", "1102", "1103", "1206", "1207",
                                     "note"}));
    EXPECT_EQ(files_of("1207"), 12u);
    EXPECT_TRUE(fs::exists(root_ / "outside.ll1"));
}

TEST_F(TrackPurgeTest, TodayIsNeverPurgedAndABadDateDoesNothing) {
    make_day("0104", "START :2024/01/04 10:00:00");
    make_day("1231", "START :2023/12/31 10:00:00");
    TrackPurge purge(folder());
    for (const auto& [today, days] : std::vector<std::pair<std::string, int>>{
             {"2024/01/05", 0}, {"2024/01/05", -10}, {"", 1}, {"2024/02/30", 1}}) {
        for (int i = 0; i < 8; ++i) purge.step(today, days);
        EXPECT_EQ(files_of("0104"), 12u) << today << " " << days;
    }
    // Fewer than one day counts as one: the day before yesterday goes.
    EXPECT_EQ(files_of("1231"), 0u);
}

}  // namespace
