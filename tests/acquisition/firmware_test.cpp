// The firmware table and the divisor bytes of the start command.

#include "acquisition/acquisition_run.h"
#include "acquisition/firmware.h"
#include "config/settings.h"

#include <gtest/gtest.h>

namespace {

using namespace tw;
using acquisition::check_firmware;

TEST(Firmware, DottedVersionAndKnownVersionsWithoutWarnings) {
    EXPECT_EQ(acquisition::dotted_version("V180"), "V.1.80");
    EXPECT_EQ(acquisition::dotted_version("V1"), "V1");
    for (const char* reply : {"V.1.40", "V.1.50", "V.1.51", "V.1.60"}) {
        const auto check = check_firmware(reply, config::orda10, 0);
        EXPECT_EQ(check.firmware_version, std::string(reply).substr(2));
        EXPECT_TRUE(check.warnings.empty()) << reply;
        EXPECT_EQ(check.ad_type, config::orda10);
    }
}

TEST(Firmware, OldVersionsWarnWithoutWaitingUnlessWarningsAreOff) {
    const auto old = check_firmware("V.1.11", config::orda10, 0);
    EXPECT_EQ(old.firmware_version, "1.11");
    ASSERT_EQ(old.warnings.size(), 1u);
    EXPECT_FALSE(old.warnings[0].modal);
    EXPECT_EQ(old.warnings[0].text,
              "A/D board version is V.1.11 it is obsolete.\r\nCould not support important "
              "features.\r\nAdvice: Update your A/D card firmware returning the AT90S2313 chip "
              "to the manufacturer.");
    EXPECT_NE(check_firmware("V.1.30", config::orda10, 0).warnings.at(0).text.find("rather old"),
              std::string::npos);
    EXPECT_TRUE(check_firmware("V.1.31", config::orda10, 0)
                    .warnings.at(0)
                    .text.starts_with("A/D board version is V.1.31  \r\nThe version 1.40"));
    EXPECT_TRUE(check_firmware("V.1.11", config::orda10, 1).warnings.empty());
}

TEST(Firmware, EighteenBitBoardTurnsTheSettingIntoOrda20) {
    const auto check = check_firmware("V.1.80", config::orda10, 1);
    EXPECT_EQ(check.firmware_version, "1.80");
    EXPECT_EQ(check.ad_type, config::orda20);
    ASSERT_EQ(check.warnings.size(), 1u);  // shown even with warnings off
    EXPECT_TRUE(check.warnings[0].modal);
    EXPECT_EQ(check.warnings[0].text,
              "The A/D board connected is a 18 bit data board.\r\nA/D interface type changed to "
              "< ORDA20 >\r\nRemember to check and SAVE this setting.");
    EXPECT_TRUE(check_firmware("V.1.80", config::orda20, 0).warnings.empty());
}

TEST(Firmware, UnknownVersionsOnAnOrda20SettingGiveTwoWarnings) {
    const auto newer = check_firmware("V.1.99", config::orda20, 0);
    EXPECT_EQ(newer.firmware_version, "1.xx");
    ASSERT_EQ(newer.warnings.size(), 2u);
    EXPECT_TRUE(newer.warnings[0].text.starts_with(
        "A/D board version is V.1.99 it is unknow\r\nbut seems to be a new version."));
    EXPECT_TRUE(newer.warnings[0].modal);
    EXPECT_EQ(newer.warnings[1].text,
              "The A/D interface is not a 18 bit data\r\nas selected in H/W Setup - A/D "
              "Interface.\r\nCheck the board type.");
    EXPECT_EQ(newer.ad_type, config::orda20);

    const auto older = check_firmware("V.1.20", config::orda20, 0);
    ASSERT_EQ(older.warnings.size(), 2u);
    EXPECT_TRUE(older.warnings[0].text.starts_with(
        "A/D board version is V.1.20 it is unknow.\r\nCould not support"));
    EXPECT_TRUE(older.warnings[0].modal);

    // With warnings off only the board-type warning stays.
    EXPECT_EQ(check_firmware("V.1.99", config::orda20, 1).warnings.size(), 1u);
    EXPECT_TRUE(check_firmware("V.1.99", config::orda10, 1).warnings.empty());
}

config::Settings rates(int c1, int c2, int c3, int c4) {
    config::Settings settings;
    for (int k = 1; const int code : {c1, c2, c3, c4}) settings.channel(k++).sps_code = code;
    return settings;
}

// sps_code: 0 OFF, 1 1SPM, 2 .1, 3 .5, 4 1, 5 2, ... 11 100, 12 200.
TEST(RateCommand, DivisorsOnBoardsThatDivide100) {
    const auto rate = acquisition::build_rate_command(rates(1, 5, 11, 12), "ORDA V.1.80");
    EXPECT_EQ(rate.bytes, std::string("\x32\x32\x01\x01", 4));  // 50, 50, 1, 1
    EXPECT_EQ(rate.fastest_channel, 3);
    EXPECT_DOUBLE_EQ(rate.true_rate[0], 1.0 / 60);
    EXPECT_EQ(rate.true_rate, (std::array<double, 4>{1.0 / 60, 2, 100, 200}));
    EXPECT_EQ(acquisition::build_rate_command(rates(1, 5, 11, 12), "ORDA V.1.60").bytes,
              std::string("\x32\x32\x01\x01", 4));
}

TEST(RateCommand, DivisorsOnBoardsThatDivide200) {
    const auto rate = acquisition::build_rate_command(rates(1, 5, 11, 12), "ORDA V.1.40");
    EXPECT_EQ(rate.bytes, std::string("\x64\x64\x02\x01", 4));  // 100, 100, 2, 1
    const auto off = acquisition::build_rate_command(rates(0, 2, 3, 4), "ORDA V.1.40");
    EXPECT_EQ(off.bytes, std::string("\x00\x64\x64\x64", 4));  // OFF, then 0.1 .. 1 run at 2
    EXPECT_EQ(off.true_rate, (std::array<double, 4>{0, 0.1, 0.5, 1}));
}

TEST(RateCommand, FastestChannelIsTheLowestAmongEqualRates) {
    EXPECT_EQ(acquisition::build_rate_command(rates(10, 11, 11, 4), "ORDA V.1.40").fastest_channel, 1);
    EXPECT_EQ(acquisition::build_rate_command(rates(0, 0, 0, 0), "ORDA V.1.40").fastest_channel, 0);
    // A code outside the list is a channel switched off.
    EXPECT_EQ(acquisition::build_rate_command(rates(40, -1, 4, 4), "ORDA V.1.40").bytes,
              std::string("\x00\x00\x64\x64", 4));
}

TEST(BadPacketCount, CountsOnTheCaption) {
    using Case = std::pair<const char*, const char*>;
    for (const auto& [before, after] : {Case{"0", "1"}, Case{"41", "42"}, Case{"", "1"}}) {
        std::string caption = before;
        acquisition::count_on_caption(caption);
        EXPECT_EQ(caption, after);
    }
}

}  // namespace
