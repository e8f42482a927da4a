#include "supervision/error_report.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

namespace {

using tw::supervision::ErrorReport;

class ErrorReportTest : public ::testing::Test {
protected:
    ErrorReportTest() : pump_(clock_), report_(clock_, pump_) {
        clock_.set(2003, 2, 3, 12, 34, 56, 200);
        clock_.date_pattern = "%d/%m/%Y";
    }
    tw::fakes::FakeClock clock_;
    tw::fakes::FakeEventPump pump_;
    ErrorReport report_;
};

TEST_F(ErrorReportTest, ComposesCountedLineAndWaitsForNextSecond) {
    report_.report(6, 304, "START");
    const auto& lines = report_.model().lines;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Count: 1 / Error:6/Overflow / START /  304 / 12:34:56 03/02/2003");
    EXPECT_TRUE(report_.model().visible);
    // It returned only once the clock's second had changed.
    EXPECT_EQ(clock_.now().second, 57);
    // A detail says what failed.
    report_.report(13, 7, "PANEL Load", "line 3: value 'x' of SPS is not a number");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("Error:13/Type mismatch: line 3: value 'x' of SPS"), std::string::npos);
}

// What the box keeps and how its buttons restart the count is shown by the
// error list window's test over this report (tests/ui).

TEST_F(ErrorReportTest, ErrorNumberZeroShowsNothingButStillWaits) {
    report_.report(0, 5, "START");
    EXPECT_TRUE(report_.model().lines.empty());
    EXPECT_FALSE(report_.model().visible);
    EXPECT_EQ(report_.count(), 1);
    EXPECT_EQ(clock_.now().second, 57);
}

TEST_F(ErrorReportTest, CountWrapsAfter99999) {
    report_.set_pause_enabled(false);
    for (int i = 0; i < 100000; ++i) report_.report(0, 0, "x");
    EXPECT_EQ(report_.count(), 0);
    EXPECT_EQ(pump_.calls, 0);
}

}  // namespace
