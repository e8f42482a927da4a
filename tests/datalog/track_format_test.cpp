#include "datalog/track_format.h"

#include <gtest/gtest.h>


namespace {

using namespace tw::datalog;

TEST(TrackFormat, IndexGroupsAreLabelledCrLfLines) {
    EXPECT_EQ(index_start_group("2024/01/05 10:07:00", 20, 0),
              "START :2024/01/05 10:07:00\r\nSPS   : 20\r\nPOSIT : 0\r\n");
    EXPECT_EQ(index_start_group("2024/12/31 23:55:00", 200, 123456789012ULL),
              "START :2024/12/31 23:55:00\r\nSPS   : 200\r\nPOSIT : 123456789012\r\n");
    // The stop position is the track's last byte, 0 for an empty track.
    EXPECT_EQ(index_stop_group("2024/01/05 11:00:01", 0), "STOP  :2024/01/05 11:00:01\r\nPOSIT : 0\r\n");
    EXPECT_EQ(index_stop_group("2024/01/05 11:00:01", 1), "STOP  :2024/01/05 11:00:01\r\nPOSIT : 0\r\n");
    EXPECT_EQ(index_stop_group("2024/01/05 11:00:01", 24000),
              "STOP  :2024/01/05 11:00:01\r\nPOSIT : 23999\r\n");
}

TEST(TrackFormat, RatesBelowOneHaveNoLeadingZero) {
    EXPECT_EQ(sps_text(20), " 20");
    EXPECT_EQ(sps_text(0.5), " .5");
    EXPECT_EQ(sps_text(0.1), " .1");
    EXPECT_EQ(sps_text(0.016666), " .016666");  // one sample per minute, as stored
}

TEST(TrackFormat, DayNameComesFromTheBoardDateAndGarbleGivesNone) {
    EXPECT_EQ(day_name_of("2024/01/05 10:07:00"), "0105");
    EXPECT_EQ(day_name_of("1999/12/31 23:59:59"), "1231");
    for (const char* bad : {"", "2024/01/05", "2024-01-05 10:07:00", "2024/13/05 10:07:00",
                            "2024/01/00 10:07:00", "2024/01/05 24:00:00", "2024/01/05 10:60:00",
                            "2024/01/05 10:07:0x", "2024/01/05 10:07:00 ", "\xff\xfe"}) {
        EXPECT_EQ(day_name_of(bad), "") << bad;
    }
    EXPECT_EQ(track_file_name("0105", TrackFile::buffer, 1), "0105.ch1");
    EXPECT_EQ(track_file_name("0105", TrackFile::track, 3), "0105.lg3");
    EXPECT_EQ(track_file_name("1231", TrackFile::index, 4), "1231.ll4");
}

}  // namespace
