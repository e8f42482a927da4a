#include "supervision/event_list.h"

#include "fakes/fake_platform.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using tw::supervision::EventList;

using tw::testing::read_file;

class EventListTest : public ::testing::Test {
protected:
    void SetUp() override { clock_.set(2003, 2, 3, 7, 5, 9); }
    tw::testing::TestFolder folder_;
    fs::path file_ = folder_ / "evtfile.dat";
    tw::fakes::FakeClock clock_;
};

TEST_F(EventListTest, AppendsTimeStampedLinesWithCrLfAndClearLeavesOneLine) {
    EventList list(file_, clock_);
    std::vector<std::string> heard;
    list.set_line_listener([&](const std::string& line) { heard.push_back(line); });
    ASSERT_TRUE(list.append("START"));
    clock_.advance_ms(61'000);
    ASSERT_TRUE(list.append("Warning! A/D card restarted."));
    EXPECT_EQ(read_file(file_),
              "2003/02/03 07:05:09 START\r\n"
              "2003/02/03 07:06:10 Warning! A/D card restarted.\r\n");
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_EQ(list.read_lines().back(), "2003/02/03 07:06:10 Warning! A/D card restarted.");
    ASSERT_TRUE(list.clear());
    EXPECT_EQ(read_file(file_), "Event list.\r\n");
}

TEST_F(EventListTest, FileOverLimitRestartsWithTwoLines) {
    std::ofstream(file_, std::ios::binary) << std::string(64001, 'x');
    EventList list(file_, clock_);
    ASSERT_TRUE(list.append("STOP"));
    EXPECT_EQ(read_file(file_),
              "Event list exceeded 64k cleared.\r\n2003/02/03 07:05:09 STOP\r\n");

    // Exactly at the limit nothing is restarted.
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << std::string(64000, 'x');
    ASSERT_TRUE(list.append("STOP"));
    EXPECT_EQ(fs::file_size(file_), 64000u + 26u);
}

TEST_F(EventListTest, UnwritableFileIsReportedNotCrashed) {
    EventList list(folder_ / "missing" / "evtfile.dat", clock_);
    EXPECT_FALSE(list.append("START"));
    EXPECT_NE(list.last_error().find("missing/evtfile.dat"), std::string::npos);
    EXPECT_TRUE(list.read_lines().empty());
}

TEST(EventFileNameOfLine, TakesTheWordAfterTheTimeStamp) {
    using tw::supervision::event_file_name_of_line;
    EXPECT_EQ(event_file_name_of_line("2003/02/03 12:34:56 030203.123456.z1 Chn:1 Max:120"),
              "030203.123456.z1");
    EXPECT_EQ(event_file_name_of_line("2003/02/03 12:34:56 START"), "START");
    EXPECT_EQ(event_file_name_of_line("Event list."), "");
}

}  // namespace
